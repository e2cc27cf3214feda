// Decoding of the daemon's results into patch records, through the schema decoder.
#include "patch_decoding.h"

#include "schema_decoding.h"

namespace quvane {

using simdjson::dom::element;

template <class T>
Decoded<T> decode_result(element value) {
    return decoding::decode<T>(value);
}

template <class T>
Decoded<T> decode_null() {
    return decode_json<T>("null");
}

template <class T>
Decoded<T> decode_json(std::string_view json) {
    simdjson::dom::parser parser;
    const simdjson::padded_string padded(json);
    element value;
    if (const auto error = parser.parse(padded).get(value); error != simdjson::SUCCESS) {
        return tl::unexpected(DecodeError{simdjson::error_message(error)});
    }
    return decode_result<T>(value);
}

#define QUVANE_DECODABLE(T)                              \
    template Decoded<T> decode_result<T>(element value); \
    template Decoded<T> decode_null<T>();                \
    template Decoded<T> decode_json<T>(std::string_view json);

QUVANE_DECODABLE(Empty)
QUVANE_DECODABLE(PatchInfo)
QUVANE_DECODABLE(PackageInfo)
QUVANE_DECODABLE(std::vector<PatchListRecord>)
QUVANE_DECODABLE(std::vector<PatchStateRecord>)

#undef QUVANE_DECODABLE

}  // namespace quvane
