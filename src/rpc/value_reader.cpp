#include "value_reader.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fmt/format.h>

#include "os/populate.h"
#include "rpc/value_boundary.h"
#include "system_error.h"

namespace quvane::rpc {
namespace {

// Large enough to take everything a Unix socket can hold queued in one look.
constexpr std::size_t chunk_size = std::size_t{256} * 1024;

tl::unexpected<ClientFailure> json_failure(std::string detail) {
    return tl::unexpected(ClientFailure(JsonFailure{std::move(detail)}));
}

}  // namespace

tl::expected<Reply, ClientFailure> read_one_value(ByteSource& source, std::size_t limit) {
    ValueBoundary boundary;
    Reply value;
    while (true) {
        const std::size_t room = limit - value.json().size();
        if (room == 0) {
            return tl::unexpected(ClientFailure(
                JsonFailure{fmt::format("the answer goes on past {} bytes", limit),
                            fmt::format("The answer is longer than {} MiB, the most a call reads",
                                        limit >> 20)}));
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
            if (!boundary.started()) {
                return tl::unexpected(ClientFailure(TransportFailure::timeout()));
            }
            if (!boundary.complete_at_end_of_stream()) {
                return json_failure(
                    fmt::format("EOF while parsing a value: the connection closed after {} bytes",
                                value.json().size()));
            }
            break;
        }
        const std::string_view chunk(free, *peeked);
        std::size_t take = 0;
        bool complete = false;
        if (!boundary.started()) {
            // Blanks before the value are consumed and dropped, so that however many the daemon
            // sends, none of them is held.
            take = std::min(chunk.find_first_not_of(" \t\n\r"), chunk.size());
        }
        if (take == 0) {
            const auto scanned = boundary.scan(chunk);
            if (scanned.status == ValueBoundary::Status::Invalid) {
                return json_failure(fmt::format("invalid JSON: {} at byte {} of the response",
                                                boundary.fault(),
                                                value.json().size() + scanned.length + 1));
            }
            complete = scanned.status == ValueBoundary::Status::Complete;
            take = scanned.length;
        }
        if (const auto consumed = source.consume(free, take); !consumed) {
            return json_failure(fmt::format("failed to read the response: {}",
                                            system_error_text(consumed.error())));
        }
        if (boundary.started()) {
            value.grow(take);
        }
        if (complete) {
            break;
        }
    }
    // Answers are held until they are shown, a run's worth of them at once: none keeps the
    // room of a chunk it did not need.
    value.shrink_to_fit();
    if (!boundary.escaped()) {
        value.mark_without_escapes();
    }
    return value;
}

}  // namespace quvane::rpc
