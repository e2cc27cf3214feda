// Writing JSON: strings escaped for any reader, and the patch records from the same schemas
// that decoding walks, so that no field name is written twice.
#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decoding/patch_schema.h"
#include "json_string.h"
#include "patch_records.h"
#include "plain_ascii.h"

namespace quvane::json {

// The word a status or type is written as: the status words of the text form, the JSON names
// of the other enumerations.
std::string_view word(PatchStatus status) noexcept;
template <class Enum>
std::string_view word(Enum value) noexcept {
    return json_name(value);
}

void append_value(std::string& out, std::string_view text);
void append_value(std::string& out, const FileSystemName& name);
void append_value(std::string& out, const TextMap& map);

// Numbers and truth values of exactly these types, so that a kind the writer does not know
// (a char, a size) fails to compile rather than passing for another. A number that is not
// finite, which JSON cannot hold, is written as null.
template <class Number>
requires std::same_as<Number, std::uint32_t> || std::same_as<Number, double>
void append_value(std::string& out, Number number) {
    if constexpr (std::is_floating_point_v<Number>) {
        if (!std::isfinite(number)) {
            out.append("null");
            return;
        }
    }
    char text[32];
    char* const end = std::to_chars(text, text + sizeof text, number).ptr;
    out.append(text, end);
    // The shortest form of a large whole double can be a long run of digits, which a parser
    // takes for an integer too large to hold: a fraction keeps it a double.
    if constexpr (std::is_floating_point_v<Number>) {
        if (std::find_if(text, end, [](char c) { return c == '.' || c == 'e'; }) == end) {
            out.append(".0");
        }
    }
}
template <std::same_as<bool> Truth>
void append_value(std::string& out, Truth truth) {
    out.append(truth ? "true" : "false");
}

// Our own words, plain ASCII all: written as they are.
template <class Enum>
requires requires {
    EnumSchema<Enum>::names;
}
void append_value(std::string& out, Enum value) {
    out.append(1, '"').append(word(value)).append(1, '"');
}

// A value's text where it goes into its quotation marks as it stands: plain ASCII, our own words.
inline std::optional<std::string_view> verbatim(std::string_view text) noexcept {
    return plain_ascii(text) ? std::optional(text) : std::nullopt;
}
template <class Enum>
requires requires {
    EnumSchema<Enum>::names;
}
std::optional<std::string_view> verbatim(Enum value) noexcept {
    return word(value);
}

template <class T>
concept Verbatim = requires(const T& value) {
    verbatim(value);
};

// Whether every field of a record may be written by verbatim().
template <class Record>
constexpr bool flat = []<std::size_t... I>(std::index_sequence<I...>) {
    return (
        Verbatim<std::remove_cvref_t<decltype(std::declval<const Record&>().*
                                              std::get<I>(RecordSchema<Record>::fields).member)>> &&
        ...);
}
(std::make_index_sequence<field_count<Record>>{});

// What goes before a flat record's field value: {"key":" for the first, ","key":" for the others.
template <class Record, std::size_t I>
constexpr auto field_opening = [] {
    constexpr std::string_view key = std::get<I>(RecordSchema<Record>::fields).key;
    constexpr std::string_view before = I == 0 ? "{\"" : "\",\"";
    std::array<char, before.size() + key.size() + 3> text{};
    std::copy(key.begin(), key.end(), std::copy(before.begin(), before.end(), text.begin()));
    std::copy_n("\":\"", 3, text.end() - 3);
    return text;
}();

// A record whose fields are all strings written as they stand, in one piece: the string grows
// once, and only the values are copied by their length (the long lists are made of these).
// False, writing nothing, where a field is not such a string.
template <class Record>
bool append_verbatim(std::string& out, const Record& record) {
    constexpr auto& fields = RecordSchema<Record>::fields;
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        const std::optional<std::string_view> values[] = {
            verbatim(record.*std::get<I>(fields).member)...};
        if (!(values[I] && ...)) {
            return false;
        }
        const std::size_t start = out.size();
        out.resize(start + ((field_opening<Record, I>.size() + values[I]->size()) + ...) + 2);
        char* at = out.data() + start;
        ((std::memcpy(at, field_opening<Record, I>.data(), field_opening<Record, I>.size()),
          at += field_opening<Record, I>.size(),
          std::memcpy(at, values[I]->data(), values[I]->size()), at += values[I]->size()),
         ...);
        at[0] = '"';
        at[1] = '}';
        return true;
    }
    (std::make_index_sequence<field_count<Record>>{});
}

// Called between the elements of an array with what is written so far, so that its owner can
// hand a full block on and go on in an empty one: a long array is never held whole.
class Between {
  public:
    constexpr Between() = default;
    template <class Owner>
    explicit Between(Owner& owner) noexcept
        : owner_(&owner),
          call_([](void* o, std::string& out) { static_cast<Owner*>(o)->between(out); }) {}
    void operator()(std::string& out) const {
        if (call_ != nullptr) {
            call_(owner_, out);
        }
    }

  private:
    void* owner_ = nullptr;
    void (*call_)(void*, std::string&) = nullptr;
};

template <class Record>
requires requires {
    RecordSchema<Record>::fields;
}
void append_value(std::string& out, const Record& record, Between between = {});

template <class T>
void append_value(std::string& out, const std::vector<T>& values, Between between = {});

// null when empty.
template <class T>
void append_value(std::string& out, const std::optional<T>& value, Between between = {});

// A field's value, and the hand-over for those that hold arrays.
template <class T>
void append_field(std::string& out, const T& value, Between between) {
    if constexpr (requires { append_value(out, value, between); }) {
        append_value(out, value, between);
    } else {
        append_value(out, value);
    }
}

template <class T>
void append_value(std::string& out, const std::vector<T>& values, Between between) {
    out.push_back('[');
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        append_field(out, values[i], between);
        between(out);
    }
    out.push_back(']');
}

template <class T>
void append_value(std::string& out, const std::optional<T>& value, Between between) {
    if (value) {
        append_field(out, *value, between);
    } else {
        out.append("null");
    }
}

// An object with the record's fields, in schema order, under their schema keys.
template <class Record>
requires requires {
    RecordSchema<Record>::fields;
}
void append_value(std::string& out, const Record& record, Between between) {
    if constexpr (flat<Record>) {
        if (append_verbatim(out, record)) {
            return;
        }
    }
    out.push_back('{');
    bool first = true;
    std::apply(
        [&](const auto&... fields) {
            ((out.append(first ? "\"" : ",\""), first = false, out.append(fields.key),
              out.append("\":"), append_field(out, record.*fields.member, between)),
             ...);
        },
        RecordSchema<Record>::fields);
    out.push_back('}');
}

}  // namespace quvane::json
