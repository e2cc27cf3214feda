#include "value_reader.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fmt/format.h>

#include "os/populate.h"
#include "rpc/bracket_counter.h"
#include "rpc/value_boundary.h"
#include "system_error.h"

namespace quvane::rpc {
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

}  // namespace

tl::expected<Reply, ClientFailure> read_one_value(ByteSource& source, std::size_t limit) {
    ValueBoundary grammar;
    BracketCounter counter;
    bool counting = false;    // the value opens with a bracket: its end is counted
    std::size_t checked = 0;  // the bytes of the value the grammar has taken
    auto window = Clock::now();
    std::size_t window_bytes = 0;
    Reply value;
    // The grammar over the bytes it has not seen yet: a fault among them fails the read.
    const auto check = [&]() -> tl::expected<void, ClientFailure> {
        const std::size_t from = std::exchange(checked, value.json().size());
        const auto scanned = grammar.scan(value.json().substr(from));
        if (scanned.status == ValueBoundary::Status::Invalid) {
            return json_failure(fmt::format("invalid JSON: {} at byte {} of the response",
                                            grammar.fault(), from + scanned.length + 1));
        }
        return {};
    };
    while (true) {
        const std::size_t room = limit - value.json().size();
        if (room == 0) {
            return tl::unexpected(ClientFailure(
                JsonFailure{fmt::format("the answer goes on past {} bytes", limit),
                            fmt::format("The answer is longer than {} MiB, the most a call reads",
                                        limit >> 20)}));
        }
        // A daemon that pauses, or sends less than a steady one would: what it sent so far is
        // checked now, each byte once, rather than when it closes.
        if (counting && checked < value.json().size()) {
            const auto now = Clock::now();
            const bool slow = now - window >= slow_window && window_bytes < slow_bytes;
            if (now - window >= slow_window) {
                window = now;
                window_bytes = 0;
            }
            if (slow || !source.pending(slow_window)) {
                if (auto checked_so_far = check(); !checked_so_far) {
                    return tl::unexpected(std::move(checked_so_far.error()));
                }
            }
        }
        const std::size_t want = std::min(chunk_size, room);
        if (!value.reserve_more(want, limit)) {
            return json_failure("out of memory for the response");
        }
        char* const free = value.end();
        if (!value.json().empty()) {
            // A long answer: map the next chunk's pages in one call rather than fault them in
            // one by one. Not for the first chunk, which most answers leave almost untouched.
            os::populate_for_writing(free, want);
        }
        const auto peeked = source.peek(free, want);
        if (!peeked && peeked.error() == ETIMEDOUT) {
            return tl::unexpected(ClientFailure(TransportFailure::expired({})));
        }
        if (!peeked) {
            return json_failure(
                fmt::format("failed to read the response: {}", system_error_text(peeked.error())));
        }
        if (*peeked == 0) {
            if (value.json().empty()) {
                return tl::unexpected(ClientFailure(TransportFailure::timeout()));
            }
            if (auto checked_so_far = check(); !checked_so_far) {
                return tl::unexpected(std::move(checked_so_far.error()));
            }
            if (counting || !grammar.complete_at_end_of_stream()) {
                return json_failure(
                    fmt::format("EOF while parsing a value: the connection closed after {} bytes",
                                value.json().size()));
            }
            break;
        }
        const std::string_view chunk(free, *peeked);
        std::size_t take = 0;
        bool complete = false;
        if (value.json().empty()) {
            // Blanks before the value are consumed and dropped, so that however many the daemon
            // sends, none of them is held.
            take = std::min(chunk.find_first_not_of(" \t\n\r"), chunk.size());
            counting = take == 0 && (chunk.front() == '{' || chunk.front() == '[');
        }
        if (take == 0 && counting) {
            const auto end = counter.scan(chunk);
            complete = end.has_value();
            take = end.value_or(chunk.size());
        } else if (take == 0) {
            // Anything but an object or an array: the grammar alone, as the bytes come.
            const auto scanned = grammar.scan(chunk);
            if (scanned.status == ValueBoundary::Status::Invalid) {
                return json_failure(fmt::format("invalid JSON: {} at byte {} of the response",
                                                grammar.fault(),
                                                value.json().size() + scanned.length + 1));
            }
            complete = scanned.status == ValueBoundary::Status::Complete;
            take = scanned.length;
            checked += take;
        }
        if (const auto consumed = source.consume(free, take); !consumed) {
            return json_failure(fmt::format("failed to read the response: {}",
                                            system_error_text(consumed.error())));
        }
        if (!value.json().empty() || counting || grammar.started()) {
            value.grow(take);
            window_bytes += take;
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
