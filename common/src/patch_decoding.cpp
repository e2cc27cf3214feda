// One generic decoder for every record: the object form (any order, unknown keys skipped,
// duplicates and missing fields refused) and the array form (exactly the fields in order).
#include <bitset>
#include <cstdint>
#include <limits>
#include <utility>

#include <fmt/format.h>

#include "patch_decoding.h"
#include "patch_schema.h"

namespace quvane {
namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;
using Status = tl::expected<void, DecodeError>;

template <class R>
concept Record = requires {
    RecordSchema<R>::fields;
};

template <class E>
concept Enumeration = requires {
    EnumSchema<E>::names;
};

tl::unexpected<DecodeError> failure(std::string description) {
    return tl::unexpected(DecodeError{std::move(description)});
}

// Prefixes a failure's description with the context that `describe_context` gives; the
// context is built only on failure, since decoding a long list succeeds field after field.
template <class DescribeContext>
Status with_context(Status status, DescribeContext describe_context) {
    if (!status) {
        status.error().description =
            fmt::format("{}: {}", describe_context(), status.error().description);
    }
    return status;
}

// How an unexpected value is named in a description: its kind and, for scalars, the value.
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

Status decode_into(element value, Empty& out);
Status decode_into(element value, std::string& out);
Status decode_into(element value, std::filesystem::path& out);
Status decode_into(element value, FileSystemName& out);
Status decode_into(element value, std::uint32_t& out);
Status decode_into(element value, TextMap& out);
template <Enumeration E>
Status decode_into(element value, E& out);
template <Record R>
Status decode_into(element value, R& out);
template <class T>
Status decode_into(element value, std::vector<T>& out);

Status decode_into(element value, Empty&) {
    if (!value.is_null()) {
        return invalid_type(value, "unit");
    }
    return {};
}

Status decode_into(element value, std::string& out) {
    std::string_view text;
    if (value.get(text) != simdjson::SUCCESS) {
        return invalid_type(value, "a string");
    }
    out.assign(text);
    return {};
}

Status decode_into(element value, std::filesystem::path& out) {
    std::string_view text;
    if (value.get(text) != simdjson::SUCCESS) {
        return invalid_type(value, "path string");
    }
    out = std::filesystem::path(std::string(text));
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
    for (const element byte : bytes) {
        int64_t number = 0;
        if (byte.type() != element_type::INT64 && byte.type() != element_type::UINT64) {
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

Status decode_into(element value, std::uint32_t& out) {
    const element_type type = value.type();
    if (type != element_type::INT64 && type != element_type::UINT64) {
        return invalid_type(value, "u32");
    }
    int64_t number = 0;
    if (value.get(number) != simdjson::SUCCESS || number < 0 ||
        number > std::numeric_limits<std::uint32_t>::max()) {
        return failure(fmt::format("invalid value: {}, expected u32", describe(value)));
    }
    out = static_cast<std::uint32_t>(number);
    return {};
}

Status decode_into(element value, TextMap& out) {
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
        out.insert_or_assign(std::string(member.key), std::string(text));
    }
    return {};
}

template <Enumeration E>
tl::expected<E, DecodeError> enum_from_name(std::string_view name) {
    if (const auto value = enum_named<E>(name)) {
        return *value;
    }
    return failure(fmt::format("unknown variant `{}`, expected one of `{}`", name,
                               fmt::join(EnumSchema<E>::names, "`, `")));
}

template <Enumeration E>
Status decode_into(element value, E& out) {
    const auto expected = [] { return fmt::format("enum {}", EnumSchema<E>::name); };
    std::string_view name;
    if (value.get(name) == simdjson::SUCCESS) {
        auto decoded = enum_from_name<E>(name);
        if (!decoded) {
            return tl::unexpected(decoded.error());
        }
        out = *decoded;
        return {};
    }
    simdjson::dom::object object;
    if (value.get(object) != simdjson::SUCCESS) {
        return invalid_type(value, expected());
    }
    auto member = object.begin();
    if (member == object.end()) {
        return failure(fmt::format("invalid value: empty map, expected {}", expected()));
    }
    auto decoded = enum_from_name<E>(member.key());
    if (!decoded) {
        return tl::unexpected(decoded.error());
    }
    if (!member.value().is_null()) {
        return invalid_type(member.value(), "unit variant");
    }
    if (++member != object.end()) {
        return failure(
            fmt::format("invalid length: map with more than one member, expected {}", expected()));
    }
    out = *decoded;
    return {};
}

template <class T>
Status decode_into(element value, std::vector<T>& out) {
    simdjson::dom::array array;
    if (value.get(array) != simdjson::SUCCESS) {
        return invalid_type(value, "a sequence");
    }
    out.reserve(array.size());
    std::size_t index = 0;
    for (const element item : array) {
        T decoded{};
        if (auto status = decode_into(item, decoded); !status) {
            return with_context(std::move(status),
                                [&] { return fmt::format("element {}", index); });
        }
        out.push_back(std::move(decoded));
        ++index;
    }
    return {};
}

template <Record R>
constexpr std::size_t field_count = std::tuple_size_v<decltype(RecordSchema<R>::fields)>;

template <Record R>
constexpr auto field_keys = std::apply(
    [](const auto&... fields) {
        return std::array<std::string_view, sizeof...(fields)>{fields.key...};
    },
    RecordSchema<R>::fields);

// Decodes `value` into the field at `index`, naming the record and the field on failure.
template <Record R>
Status decode_field(std::size_t index, element value, R& out) {
    Status status;
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        ((I == index
              ? void(status = decode_into(value, out.*std::get<I>(RecordSchema<R>::fields).member))
              : void()),
         ...);
    }
    (std::make_index_sequence<field_count<R>>{});
    return with_context(std::move(status), [&] {
        return fmt::format("{} field \"{}\"", RecordSchema<R>::name, field_keys<R>[index]);
    });
}

template <Record R>
Status decode_into(element value, R& out) {
    constexpr std::size_t count = field_count<R>;
    constexpr std::string_view name = RecordSchema<R>::name;

    simdjson::dom::array array;
    if (value.get(array) == simdjson::SUCCESS) {
        if (const std::size_t length = array.size(); length != count) {
            return failure(fmt::format("invalid length {}, expected struct {} with {} elements",
                                       length, name, count));
        }
        std::size_t index = 0;
        for (const element item : array) {
            if (auto status = decode_field(index++, item, out); !status) {
                return status;
            }
        }
        return {};
    }

    simdjson::dom::object object;
    if (value.get(object) != simdjson::SUCCESS) {
        return invalid_type(value, fmt::format("struct {}", name));
    }
    std::bitset<count> seen;
    for (const auto member : object) {
        const auto& keys = field_keys<R>;
        const auto key = std::find(keys.begin(), keys.end(), member.key);
        if (key == keys.end()) {
            continue;
        }
        const auto index = static_cast<std::size_t>(key - keys.begin());
        if (seen.test(index)) {
            return failure(fmt::format("{}: duplicate field `{}`", name, *key));
        }
        seen.set(index);
        if (auto status = decode_field(index, member.value, out); !status) {
            return status;
        }
    }
    for (std::size_t index = 0; index < count; ++index) {
        if (!seen.test(index)) {
            return failure(fmt::format("{}: missing field `{}`", name, field_keys<R>[index]));
        }
    }
    return {};
}

}  // namespace

template <class T>
Decoded<T> decode_result(element value) {
    T out{};
    if (auto status = decode_into(value, out); !status) {
        return tl::unexpected(std::move(status.error()));
    }
    return out;
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
