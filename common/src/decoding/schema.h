// How a record or an enumeration states its JSON names once: a record's fields (key and
// member) and an enumeration's names in ordinal order. The generic decoder walks these tables;
// each record type specialises RecordSchema or EnumSchema beside its own definition.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

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

template <class Record>
constexpr std::size_t field_count = std::tuple_size_v<decltype(RecordSchema<Record>::fields)>;

template <class Record>
constexpr auto field_keys = std::apply(
    [](const auto&... fields) {
        return std::array<std::string_view, sizeof...(fields)>{fields.key...};
    },
    RecordSchema<Record>::fields);

// The index of the field whose key `matches` accepts, trying the one at `next` first (daemons
// send the fields in order); field_count when none does.
template <class Record, class Matches>
constexpr std::size_t field_index(std::size_t next, Matches matches) {
    constexpr auto& keys = field_keys<Record>;
    if (next < keys.size() && matches(keys[next])) {
        return next;
    }
    return static_cast<std::size_t>(std::find_if(keys.begin(), keys.end(), matches) - keys.begin());
}

// Calls `visit` with the member of `record` that the field at `index` names.
template <class Record, class Visit>
void visit_field(std::size_t index, Record& record, Visit visit) {
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        ((I == index ? void(visit(record.*std::get<I>(RecordSchema<Record>::fields).member))
                     : void()),
         ...);
    }
    (std::make_index_sequence<field_count<Record>>{});
}

// Whether a record may also come as an array of its fields; a schema says `object_only` where
// it may not.
template <class R>
constexpr bool has_array_form = !requires {
    RecordSchema<R>::object_only;
};

// The fewest bytes a record's object form can take: braces, and each key quoted with its
// colon, a value of at least one byte and a comma.
template <class R>
constexpr std::size_t smallest_object =
    std::apply([](const auto&... fields) { return 2 + ((fields.key.size() + 5) + ...) - 1; },
               RecordSchema<R>::fields);

// How many items an array of `size` bytes can hold at most; 0 where no bound is known.
template <class T>
std::size_t most_items(std::size_t size) {
    if constexpr (requires { RecordSchema<T>::fields; }) {
        return size / (smallest_object<T> + 1) + 1;
    } else {
        return 0;
    }
}

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
