// The framing's two paths over string interiors, byte by byte and sixteen bytes at a time, fed
// the same bytes in the same chunks: they must decide alike at every chunk, with the same
// fault.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "rpc/value_boundary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using quvane::rpc::ValueBoundary;
    // The first byte chooses the chunk length, the rest is the stream.
    const std::size_t chunk = size > 0 ? 1 + data[0] % 64 : 1;
    std::string_view stream(reinterpret_cast<const char*>(data) + (size > 0), size - (size > 0));
    ValueBoundary reference(ValueBoundary::Path::Reference);
    ValueBoundary fast(ValueBoundary::Path::Fast);
    while (!stream.empty()) {
        const std::string_view part = stream.substr(0, chunk);
        stream.remove_prefix(part.size());
        const auto expected = reference.scan(part);
        const auto got = fast.scan(part);
        if (expected.status != got.status || expected.length != got.length ||
            reference.fault() != fast.fault() || reference.escaped() != fast.escaped() ||
            reference.complete_at_end_of_stream() != fast.complete_at_end_of_stream()) {
            std::abort();
        }
        if (expected.status != ValueBoundary::Status::More) {
            break;
        }
    }
    return 0;
}
