// Decoding of the daemon's results into patch records, through the schema decoder.
#include "patch_decoding.h"

#include "result_types.h"

#include "patch_schema.h"
#include "patch_value_decoding.h"
#include "schema_decoding.h"

namespace quvane {

using decoding::describe;
using decoding::element_type;
using decoding::failure;
using decoding::invalid_type;
using simdjson::dom::element;

decoding::Status decode_into(element value, Empty&) {
    if (!value.is_null()) {
        return invalid_type(value, "unit");
    }
    return {};
}

decoding::Status decode_into(element value, FileSystemName& out) {
    constexpr std::string_view expected = "enum OsString";
    simdjson::dom::object object;
    if (value.get(object) != simdjson::SUCCESS) {
        return invalid_type(value, expected);
    }
    auto member = object.begin();
    if (member == object.end()) {
        return failure(fmt::format("invalid value: empty map, expected {}", expected));
    }
    const std::string_view variant = member.key();
    if (variant == "Windows") {
        return failure("cannot deserialize Windows OS string on Unix");
    }
    if (variant != "Unix") {
        return failure(fmt::format("unknown variant `{}`, expected `Unix` or `Windows`", variant));
    }
    simdjson::dom::array bytes;
    if (member.value().get(bytes) != simdjson::SUCCESS) {
        return invalid_type(member.value(), "a sequence of bytes");
    }
    std::string name;
    name.reserve(bytes.size());
    for (const element byte : bytes) {
        int64_t number = 0;
        if (const element_type type = byte.type();
            type != element_type::INT64 && type != element_type::UINT64) {
            return invalid_type(byte, "u8");
        }
        if (byte.get(number) != simdjson::SUCCESS || number < 0 || number > 255) {
            return failure(fmt::format("invalid value: {}, expected u8", describe(byte)));
        }
        name.push_back(static_cast<char>(number));
    }
    if (++member != object.end()) {
        return failure(
            fmt::format("invalid length: map with more than one member, expected {}", expected));
    }
    out.bytes = std::move(name);
    return {};
}

template <class T>
Decoded<T> decode_result(element value) {
    return decoding::decode<T>(value);
}

template <class T>
Decoded<T> decode_null() {
    simdjson::dom::parser parser;
    element null;
    if (const auto error =
            parser.parse(simdjson::padded_string(std::string_view("null"))).get(null);
        error != simdjson::SUCCESS) {
        return tl::unexpected(DecodeError{simdjson::error_message(error)});
    }
    return decode_result<T>(null);
}

#define QUVANE_DECODABLE(T)                              \
    template Decoded<T> decode_result<T>(element value); \
    template Decoded<T> decode_null<T>();

QUVANE_FOR_EACH_RESULT_TYPE(QUVANE_DECODABLE)

#undef QUVANE_DECODABLE

}  // namespace quvane
