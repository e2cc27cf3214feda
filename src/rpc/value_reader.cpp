#include "value_reader.h"

#include <algorithm>

#include <fmt/format.h>
#include <simdjson.h>

#include "system_error.h"
#include "value_boundary.h"

namespace quvane::rpc {
namespace {

// Large enough to take everything a Unix socket can hold queued in one look.
constexpr std::size_t chunk_size = 256 * 1024;
constexpr std::size_t initial_size = 64 * 1024;
constexpr std::size_t minimum_room = 16 * 1024;

tl::unexpected<ClientFailure> json_failure(std::string detail) {
    return tl::unexpected(ClientFailure(JsonFailure{std::move(detail)}));
}

}  // namespace

ValueBytes::ValueBytes(std::vector<char> storage, std::size_t size)
    : storage_(std::move(storage)), size_(size) {
    storage_.resize(size_ + simdjson::SIMDJSON_PADDING);
}

tl::expected<ValueBytes, ClientFailure> read_one_value(ByteSource& source) {
    ValueBoundary boundary;
    // Grown geometrically and only when little room is left, so that a daemon writing in
    // small pieces costs no more than one writing in large ones.
    std::vector<char> buffer(initial_size);
    std::size_t size = 0;
    while (true) {
        if (buffer.size() - size < minimum_room) {
            buffer.resize(std::max(buffer.size() * 2, size + chunk_size));
        }
        char* const free = buffer.data() + size;
        const auto peeked = source.peek(free, std::min(buffer.size() - size, chunk_size));
        if (!peeked) {
            return json_failure(fmt::format("failed to read the response: {}",
                                            system_error_text(peeked.error())));
        }
        if (*peeked == 0) {
            if (!boundary.started()) {
                return tl::unexpected(ClientFailure(TransportFailure::timeout()));
            }
            if (!boundary.complete_at_end_of_stream()) {
                return json_failure(fmt::format(
                    "EOF while parsing a value: the connection closed after {} bytes", size));
            }
            break;
        }
        const auto end = boundary.scan(std::string_view(free, *peeked));
        const std::size_t take = end.value_or(*peeked);
        if (const auto consumed = source.consume(free, take); !consumed) {
            return json_failure(fmt::format("failed to read the response: {}",
                                            system_error_text(consumed.error())));
        }
        size += take;
        if (end) {
            break;
        }
    }
    return ValueBytes(std::move(buffer), size);
}

}  // namespace quvane::rpc
