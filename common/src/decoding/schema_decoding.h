// The generic decoder that every schema-described record goes through: the object form (any
// order, unknown keys skipped, duplicates refused, a missing field refused unless it is
// optional) and, where the schema allows it, the array form (exactly the fields in order).
// Failures name the record, the field and what was wrong.
#pragma once

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <simdjson.h>
#include <tl/expected.hpp>

#include "decode_error.h"
#include "patch_records.h"
#include "raw_json.h"
#include "schema.h"

namespace quvane {

namespace decoding {

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

tl::unexpected<DecodeError> failure(std::string description);

// How an unexpected value is named in a description: its kind and, for scalars, the value.
std::string describe(element value);

tl::unexpected<DecodeError> invalid_type(element value, std::string_view expected);

// The value kinds; a record's field is decoded by the overload for its member's type.
Status decode_into(element value, std::string& out);
// A view into the parsed document, valid as long as it is.
Status decode_into(element value, std::string_view& out);
Status decode_into(element value, std::uint32_t& out);
// An object whose members are all strings; a repeated key: the later value wins. Views into
// the parsed document.
Status decode_into(element value, std::map<std::string_view, std::string_view>& out);
// A JSON integer in the signed 32-bit range, without fraction or exponent.
Status decode_into(element value, std::int32_t& out);
// Any JSON value, kept as its compact text.
Status decode_into(element value, RawJson& out);
// Any JSON value, kept in the parsed document.
Status decode_into(element value, element& out);
Status decode_into(element value, bool& out);
// Any JSON number.
Status decode_into(element value, double& out);
// JSON null only.
Status decode_into(element value, Empty& out);
// {"Unix":[bytes]}: a file-system name, any bytes.
Status decode_into(element value, FileSystemName& out);
// Absent or null: nothing; otherwise the value's kind.
template <class T>
Status decode_into(element value, std::optional<T>& out);
template <Enumeration E>
Status decode_into(element value, E& out);
template <Record R>
Status decode_into(element value, R& out);
template <class T>
Status decode_into(element value, std::vector<T>& out);

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

template <class T>
Status decode_into(element value, std::optional<T>& out) {
    if (value.is_null()) {
        out.reset();
        return {};
    }
    return decode_into(value, out.emplace());
}

template <class T>
constexpr bool is_optional = false;
template <class T>
constexpr bool is_optional<std::optional<T>> = true;

// Per field, whether it may be absent (its member is optional).
template <Record R>
constexpr auto field_optional = std::apply(
    [](const auto&... fields) {
        return std::array<bool, sizeof...(fields)>{
            is_optional<std::remove_cvref_t<decltype(std::declval<R>().*fields.member)>>...};
    },
    RecordSchema<R>::fields);

// Decodes `value` into the field at `index`, naming the record and the field on failure.
template <Record R>
Status decode_field(std::size_t index, element value, R& out) {
    Status status;
    visit_field(index, out, [&](auto& member) { status = decode_into(value, member); });
    return with_context(std::move(status), [&] {
        return fmt::format("{} field \"{}\"", RecordSchema<R>::name, field_keys<R>[index]);
    });
}

template <Record R>
Status decode_into(element value, R& out) {
    constexpr std::size_t count = field_count<R>;
    constexpr std::string_view name = RecordSchema<R>::name;

    simdjson::dom::array array;
    if (has_array_form<R> && value.get(array) == simdjson::SUCCESS) {
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
    std::size_t next = 0;
    for (const auto member : object) {
        const std::size_t index =
            field_index<R>(next, [&](std::string_view key) { return key == member.key; });
        if (index == count) {
            continue;
        }
        next = index + 1;
        if (seen.test(index)) {
            return failure(fmt::format("{}: duplicate field `{}`", name, field_keys<R>[index]));
        }
        seen.set(index);
        if (auto status = decode_field(index, member.value, out); !status) {
            return status;
        }
    }
    for (std::size_t index = 0; index < count; ++index) {
        if (!seen.test(index) && !field_optional<R>[index]) {
            return failure(fmt::format("{}: missing field `{}`", name, field_keys<R>[index]));
        }
    }
    return {};
}

// Decodes `value` as a T.
template <class T>
Decoded<T> decode(element value) {
    T out{};
    if (auto status = decode_into(value, out); !status) {
        return tl::unexpected(std::move(status.error()));
    }
    return out;
}

}  // namespace decoding
}  // namespace quvane
