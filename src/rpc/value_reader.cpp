#include "value_reader.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fmt/format.h>

#include "system_error.h"
#include "wire/bracket_counter.h"
#include "wire/value_boundary.h"

namespace quvane::rpc {

using wire::BracketCounter;
using wire::ValueBoundary;
namespace {

// Large enough to take everything a Unix socket can hold queued in one look.
constexpr std::size_t chunk_size = std::size_t{256} * 1024;

// A daemon that sends less than this in this long is slow: its bytes are checked as they come.
using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds slow_window{50};
constexpr std::size_t slow_bytes = std::size_t{1} << 20;

tl::unexpected<ClientFailure> json_failure(std::string detail) {
    return tl::unexpected(ClientFailure(JsonFailure{std::move(detail)}));
}

using Checked = tl::expected<void, ClientFailure>;

// Where the value ends in the bytes as they come: by the bracket count for an object or an
// array, with the grammar catching up over what a pausing or slow daemon sent; by the grammar
// alone for anything else.
class Framing {
  public:
    // How many bytes of `chunk`, which follows `value`, belong to the value, and whether it is
    // complete with them. Blanks before the value are counted but belong to nothing.
    tl::expected<std::pair<std::size_t, bool>, ClientFailure> scan(std::string_view chunk,
                                                                   const Reply& value) {
        if (value.json().empty() && !grammar_.started()) {
            const std::size_t blanks = std::min(chunk.find_first_not_of(" \t\n\r"), chunk.size());
            if (blanks > 0) {
                return std::pair{blanks, false};
            }
            counting_ = chunk.front() == '{' || chunk.front() == '[';
        }
        if (counting_) {
            const auto end = counter_.scan(chunk);
            if (counter_.too_deep()) {
                return json_failure(
                    fmt::format("invalid JSON: nesting too deep at byte {} of the response",
                                value.json().size() + *end));
            }
            return std::pair{end.value_or(chunk.size()), end.has_value()};
        }
        const auto scanned = grammar_.scan(chunk);
        if (scanned.status == ValueBoundary::Status::Invalid) {
            return invalid(value.json().size() + scanned.length);
        }
        checked_ = value.json().size() + scanned.length;
        return std::pair{scanned.length, scanned.status == ValueBoundary::Status::Complete};
    }

    // Before waiting for more: a daemon that pauses, or sends less than a steady one would,
    // has what it sent so far checked now, each byte once, rather than when it closes.
    Checked check_if_slow(ByteSource& source, const Reply& value) {
        if (!counting_ || checked_ == value.json().size()) {
            return {};
        }
        const auto now = Clock::now();
        const bool window_over = now - window_ >= slow_window;
        const bool slow = window_over && value.json().size() - window_start_ < slow_bytes;
        if (window_over) {
            window_ = now;
            window_start_ = value.json().size();
        }
        return slow || !source.pending(slow_window) ? check(value) : Checked{};
    }

    // At the end of the stream: whether the value is whole, and if not what was wrong.
    Checked at_end(const Reply& value) {
        if (auto checked = check(value); !checked) {
            return checked;
        }
        if (counting_ || !grammar_.complete_at_end_of_stream()) {
            return json_failure(
                fmt::format("EOF while parsing a value: the connection closed after {} bytes",
                            value.json().size()));
        }
        return {};
    }

    bool started(const Reply& value) const noexcept {
        return !value.json().empty() || counting_ || grammar_.started();
    }

  private:
    // The grammar over the bytes it has not seen yet.
    Checked check(const Reply& value) {
        const std::size_t from = std::exchange(checked_, value.json().size());
        const auto scanned = grammar_.scan(value.json().substr(from));
        if (scanned.status == ValueBoundary::Status::Invalid) {
            return invalid(from + scanned.length);
        }
        return {};
    }

    tl::unexpected<ClientFailure> invalid(std::size_t at) const {
        return json_failure(
            fmt::format("invalid JSON: {} at byte {} of the response", grammar_.fault(), at + 1));
    }

    ValueBoundary grammar_;
    BracketCounter counter_;
    bool counting_ = false;
    std::size_t checked_ = 0;  // the bytes of the value the grammar has taken
    Clock::time_point window_ = Clock::now();
    std::size_t window_start_ = 0;  // the value's size when the window began
};

// The next bytes the source has, up to `want`, into `free`: how many, 0 at its end.
tl::expected<std::size_t, ClientFailure> peek_some(ByteSource& source, char* free,
                                                   std::size_t want) {
    const auto peeked = source.peek(free, want);
    if (!peeked && peeked.error() == ETIMEDOUT) {
        return tl::unexpected(ClientFailure(TransportFailure::expired({})));
    }
    if (!peeked) {
        return tl::unexpected(ClientFailure(JsonFailure{
            fmt::format("failed to read the response: {}", system_error_text(peeked.error()))}));
    }
    return *peeked;
}

}  // namespace

tl::expected<Reply, ClientFailure> read_one_value(ByteSource& source, std::size_t limit) {
    Framing framing;
    Reply value;
    while (true) {
        const std::size_t room = limit - value.json().size();
        if (room == 0) {
            return tl::unexpected(ClientFailure(
                JsonFailure{fmt::format("the answer goes on past {} bytes", limit),
                            fmt::format("The answer is longer than {} MiB, the most a call reads",
                                        limit >> 20)}));
        }
        if (auto checked = framing.check_if_slow(source, value); !checked) {
            return tl::unexpected(std::move(checked.error()));
        }
        const std::size_t want = std::min(chunk_size, room);
        if (!value.reserve_more(want, limit)) {
            return json_failure("out of memory for the response");
        }
        char* const free = value.end();
        const auto peeked = peek_some(source, free, want);
        if (!peeked) {
            return tl::unexpected(peeked.error());
        }
        if (*peeked == 0) {
            if (value.json().empty()) {
                return tl::unexpected(ClientFailure(TransportFailure::timeout()));
            }
            if (auto whole = framing.at_end(value); !whole) {
                return tl::unexpected(std::move(whole.error()));
            }
            break;
        }
        auto scanned = framing.scan(std::string_view(free, *peeked), value);
        if (!scanned) {
            return tl::unexpected(std::move(scanned.error()));
        }
        const auto [take, complete] = *scanned;
        if (const auto consumed = source.consume(free, take); !consumed) {
            return json_failure(fmt::format("failed to read the response: {}",
                                            system_error_text(consumed.error())));
        }
        if (framing.started(value)) {
            value.grow(take);
        }
        if (complete) {
            break;
        }
    }
    // Answers are held until they are shown, a run's worth of them at once: none keeps the
    // room of a chunk it did not need.
    value.shrink_to_fit();
    return value;
}

}  // namespace quvane::rpc
