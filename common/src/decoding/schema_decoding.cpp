#include "schema_decoding.h"

#include <limits>

namespace quvane::decoding {
namespace {

// A JSON integer, without fraction or exponent, in the range of Integer.
template <class Integer>
Status decode_integer(element value, Integer& out, std::string_view name) {
    const element_type type = value.type();
    if (type != element_type::INT64 && type != element_type::UINT64) {
        return invalid_type(value, name);
    }
    int64_t number = 0;
    if (value.get(number) != simdjson::SUCCESS || number < std::numeric_limits<Integer>::min() ||
        number > std::numeric_limits<Integer>::max()) {
        return failure(fmt::format("invalid value: {}, expected {}", describe(value), name));
    }
    out = static_cast<Integer>(number);
    return {};
}

}  // namespace

tl::unexpected<DecodeError> failure(std::string description) {
    return tl::unexpected(DecodeError{std::move(description)});
}

std::string describe(element value) {
    switch (value.type()) {
        case element_type::ARRAY:
            return "sequence";
        case element_type::OBJECT:
            return "map";
        case element_type::INT64:
            return fmt::format("integer `{}`", int64_t(value));
        case element_type::UINT64:
            return fmt::format("integer `{}`", uint64_t(value));
        case element_type::DOUBLE:
            return fmt::format("floating point `{}`", double(value));
        case element_type::STRING:
            return fmt::format("string \"{}\"", std::string_view(value));
        case element_type::BOOL:
            return fmt::format("boolean `{}`", bool(value));
        case element_type::NULL_VALUE:
            return "null";
    }
    return "value";
}

tl::unexpected<DecodeError> invalid_type(element value, std::string_view expected) {
    return failure(fmt::format("invalid type: {}, expected {}", describe(value), expected));
}

Status decode_into(element value, std::string& out) {
    std::string_view text;
    if (value.get(text) != simdjson::SUCCESS) {
        return invalid_type(value, "a string");
    }
    out.assign(text);
    return {};
}

Status decode_into(element value, std::string_view& out) {
    if (value.get(out) != simdjson::SUCCESS) {
        return invalid_type(value, "a string");
    }
    return {};
}

Status decode_into(element value, std::uint32_t& out) {
    return decode_integer(value, out, "u32");
}

Status decode_into(element value, bool& out) {
    if (value.get(out) != simdjson::SUCCESS) {
        return invalid_type(value, "a boolean");
    }
    return {};
}

Status decode_into(element value, double& out) {
    if (value.get(out) != simdjson::SUCCESS) {
        return invalid_type(value, "f64");
    }
    return {};
}

Status decode_into(element value, std::map<std::string_view, std::string_view>& out) {
    simdjson::dom::object object;
    if (value.get(object) != simdjson::SUCCESS) {
        return invalid_type(value, "a map");
    }
    for (const auto member : object) {
        std::string_view text;
        if (member.value.get(text) != simdjson::SUCCESS) {
            return with_context(invalid_type(member.value, "a string"),
                                [&] { return fmt::format("value of \"{}\"", member.key); });
        }
        // A repeated key: the later value wins.
        out.insert_or_assign(member.key, text);
    }
    return {};
}

Status decode_into(element value, std::int32_t& out) {
    return decode_integer(value, out, "i32");
}

Status decode_into(element value, RawJson& out) {
    out.text = simdjson::minify(value);
    return {};
}

Status decode_into(element value, element& out) {
    out = value;
    return {};
}

Status decode_into(element value, Empty&) {
    if (!value.is_null()) {
        return invalid_type(value, "unit");
    }
    return {};
}

Status decode_into(element value, FileSystemName& out) {
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

}  // namespace quvane::decoding
