#include "value_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include <fmt/format.h>
#include <simdjson.h>

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

ValueBytes::ValueBytes(ValueBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

ValueBytes& ValueBytes::operator=(ValueBytes&& other) noexcept {
    if (this != &other) {
        std::free(data_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

ValueBytes::~ValueBytes() {
    std::free(data_);
}

bool ValueBytes::reserve_more(std::size_t size, std::size_t limit) noexcept {
    // The parser may read this far beyond the last byte.
    const std::size_t needed = size_ + size + simdjson::SIMDJSON_PADDING;
    if (needed <= capacity_) {
        return true;
    }
    const std::size_t capacity =
        std::min(std::max(needed, capacity_ * 2), limit + simdjson::SIMDJSON_PADDING);
    char* const grown = static_cast<char*>(std::realloc(data_, capacity));
    if (grown == nullptr) {
        return false;
    }
    data_ = grown;
    capacity_ = capacity;
    return true;
}

tl::expected<ValueBytes, ClientFailure> read_one_value(ByteSource& source, std::size_t limit) {
    ValueBoundary boundary;
    ValueBytes value;
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
    return value;
}

}  // namespace quvane::rpc
