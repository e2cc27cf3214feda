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

}  // namespace quvane::decoding
