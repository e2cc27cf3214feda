// One response read from a stream that delivers its bytes in arbitrary chunks, then decoded
// as every result type the way a call decodes it. The value's end must be found exactly: the same
// bytes whatever the chunking, never past the value, and the whole input when it is one complete
// JSON value.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <simdjson.h>

#include "patch_records.h"
#include "rpc/answer_decoding.h"
#include "rpc/response.h"
#include "rpc/value_reader.h"
#include "support/memory_source.h"

namespace {

using namespace quvane;

template <class T>
void decode(std::string_view json) {
    (void)rpc::decode_answer<T>(wire::Reply::copy_of(json));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first bytes choose the chunking, the rest is the stream.
    const std::size_t split = size > 0 ? std::min<std::size_t>(data[0] % 8, size - 1) : 0;
    const std::string_view sizes(reinterpret_cast<const char*>(data) + (size > 0), split);
    const std::string_view stream(reinterpret_cast<const char*>(data) + (size > 0) + split,
                                  size - (size > 0) - split);

    std::vector<std::size_t> chunk_sizes;
    for (const char size : sizes) {
        chunk_sizes.push_back(1 + static_cast<unsigned char>(size));
    }
    testing::MemorySource chunked(std::string(stream), chunk_sizes);
    testing::MemorySource whole{std::string(stream)};
    const auto value = rpc::read_one_value(chunked);
    const auto reference = rpc::read_one_value(whole);
    if (chunked.consumed_unseen() || whole.consumed_unseen())
        std::abort();
    simdjson::dom::parser parser;
    // The grammar checks the bytes of a source that pauses (every chunk here), the parser those
    // framed by the bracket count: an invalid value may fail in the one read and be framed by
    // the other, never a valid one.
    const auto valid = [&](const auto& read) {
        return read &&
               parser.parse(simdjson::padded_string(read->json())).error() == simdjson::SUCCESS;
    };
    if (value.has_value() != reference.has_value() && (valid(value) || valid(reference)))
        std::abort();
    // Blanks before the value are consumed but not kept.
    const std::size_t blanks = std::min(stream.find_first_not_of(" \t\r\n"), stream.size());
    if (value && reference &&
        (value->json() != reference->json() ||
         chunked.position() != blanks + value->json().size() ||
         stream.substr(blanks, value->json().size()) != value->json())) {
        std::abort();
    }

    // A stream that is exactly one valid JSON value (and whitespace) is read whole.
    if (parser.parse(simdjson::padded_string(stream)).error() == simdjson::SUCCESS) {
        if (!value)
            std::abort();
        const std::string_view rest = stream.substr(blanks + value->json().size());
        if (rest.find_first_not_of(" \t\r\n") != std::string_view::npos)
            std::abort();
    }

    if (!value)
        return 0;
    if (const auto response = rpc::Response::parse_padded(value->json()))
        (void)response->debug_form();
    decode<Empty>(value->json());
    decode<PatchInfo>(value->json());
    decode<PackageInfo>(value->json());
    decode<std::vector<PatchListRecord>>(value->json());
    decode<std::vector<PatchStateRecord>>(value->json());
    return 0;
}
