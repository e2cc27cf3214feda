#include "value_reader.h"

#include <fmt/format.h>
#include <simdjson.h>

#include "system_error.h"
#include "value_boundary.h"

namespace quvane::rpc {
namespace {

// Large enough to take everything a Unix socket can hold queued in one look.
constexpr std::size_t chunk_size = 256 * 1024;

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
    std::vector<char> value;
    while (true) {
        const std::size_t offset = value.size();
        value.resize(offset + chunk_size);
        const auto peeked = source.peek(value.data() + offset, chunk_size);
        if (!peeked) {
            return json_failure(fmt::format("failed to read the response: {}",
                                            system_error_text(peeked.error())));
        }
        if (*peeked == 0) {
            value.resize(offset);
            if (!boundary.started()) {
                return tl::unexpected(ClientFailure(TransportFailure::timeout()));
            }
            if (!boundary.complete_at_end_of_stream()) {
                return json_failure(fmt::format(
                    "EOF while parsing a value: the connection closed after {} bytes",
                    offset));
            }
            break;
        }
        const auto end = boundary.scan(std::string_view(value.data() + offset, *peeked));
        const std::size_t take = end.value_or(*peeked);
        if (const auto consumed = source.consume(value.data() + offset, take); !consumed) {
            return json_failure(fmt::format("failed to read the response: {}",
                                            system_error_text(consumed.error())));
        }
        value.resize(offset + take);
        if (end) {
            break;
        }
    }
    const std::size_t size = value.size();
    return ValueBytes(std::move(value), size);
}

}  // namespace quvane::rpc
