// How a record or an enumeration states its JSON names once: a record's fields (key and
// member) and an enumeration's names in ordinal order. The generic decoder walks these tables;
// each record type specialises RecordSchema or EnumSchema beside its own definition.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace quvane {

template <class Record, class Value>
struct FieldSchema {
    std::string_view key;
    Value Record::*member;
};

template <class Record, class Value>
constexpr FieldSchema<Record, Value> field(std::string_view key, Value Record::*member) {
    return {key, member};
}

template <class Record>
struct RecordSchema;

template <class Enum>
struct EnumSchema;

template <class Enum>
constexpr std::string_view json_name(Enum value) {
    return EnumSchema<Enum>::names[static_cast<std::size_t>(value)];
}

// The value whose JSON name is `name` exactly, or nothing.
template <class Enum>
constexpr std::optional<Enum> enum_named(std::string_view name) {
    constexpr auto& names = EnumSchema<Enum>::names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            return static_cast<Enum>(i);
        }
    }
    return std::nullopt;
}

}  // namespace quvane
