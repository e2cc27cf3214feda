// The fast decoder: one validating pass over an answer's bytes with the parser's On-Demand
// interface, driven by the same schema tables as the tree decoder. Every value is visited,
// unknown members included, so that nothing invalid is accepted. It never explains a fault: on
// anything it does not take as it stands (a fault, an escaped key, the array form of a record),
// it declines, and the tree decoder, which says exactly what was wrong, decodes the same bytes.
// Text becomes views into the bytes, or into the arena where a string had escapes.
#pragma once

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "schema.h"
#include "text_arena.h"

namespace quvane::one_pass {

using simdjson::ondemand::value;

// What a pass reads and writes besides the records: the answer's bytes, and copies of strings
// whose escapes were replaced.
struct Pass {
    std::string_view bytes;
    TextArena& arena;
};

// Where `item` starts in the bytes.
const char* item_start(value& item) noexcept;

// Each kind returns false to decline.
bool decode_into(value item, Pass& pass, std::string_view& out);
bool decode_into(value item, Pass& pass, std::uint32_t& out);
bool decode_into(value item, Pass& pass, std::map<std::string_view, std::string_view>& out);
template <class T>
bool decode_into(value item, Pass& pass, std::optional<T>& out);
template <class E>
requires requires {
    EnumSchema<E>::names;
}
bool decode_into(value item, Pass& pass, E& out);
template <class R>
requires requires {
    RecordSchema<R>::fields;
}
bool decode_into(value item, Pass& pass, R& out);
template <class T>
bool decode_into(value item, Pass& pass, std::vector<T>& out);

// Visits `item` whole, checking every scalar as the tree parser would.
bool skip(value item);

// Whether the key of a member that matched no field may spell one with escapes: then the
// pass declines rather than take it for unknown.
bool key_has_escapes(simdjson::ondemand::raw_json_string key);

template <class T>
bool decode_into(value item, Pass& pass, std::optional<T>& out) {
    bool null = false;
    if (item.is_null().get(null) != simdjson::SUCCESS) {
        return false;
    }
    if (null) {
        out.reset();
        return true;
    }
    return decode_into(item, pass, out.emplace());
}

template <class E>
requires requires {
    EnumSchema<E>::names;
}
bool decode_into(value item, Pass& pass, E& out) {
    std::string_view name;
    if (!decode_into(item, pass, name)) {
        return false;
    }
    const auto named = enum_named<E>(name);
    if (!named) {
        return false;
    }
    out = *named;
    return true;
}

template <class T>
bool decode_into(value item, Pass& pass, std::vector<T>& out) {
    // Room for as many items as the array's bytes can hold, so that the items never move:
    // counting them first would read the whole array twice. Only pages that are written are
    // mapped.
    simdjson::ondemand::array array;
    if (item.get_array().get(array) != simdjson::SUCCESS) {
        return false;
    }
    out.reserve(most_items<T>(pass.bytes.size() - (item_start(item) - pass.bytes.data())));
    for (auto element : array) {
        if (element.error() != simdjson::SUCCESS ||
            !decode_into(element.value_unsafe(), pass, out.emplace_back())) {
            return false;
        }
    }
    return true;
}

template <class R>
requires requires {
    RecordSchema<R>::fields;
}
bool decode_into(value item, Pass& pass, R& out) {
    constexpr std::size_t count = field_count<R>;
    simdjson::ondemand::object object;
    if (item.get_object().get(object) != simdjson::SUCCESS) {
        return false;
    }
    std::bitset<count> seen;
    std::size_t next = 0;
    for (auto member : object) {
        simdjson::ondemand::field field;
        if (std::move(member).get(field) != simdjson::SUCCESS) {
            return false;
        }
        const simdjson::ondemand::raw_json_string key = field.key();
        const std::size_t index = field_index<R>(
            next, [&](std::string_view known) { return key.unsafe_is_equal(known); });
        if (index == count) {
            if (key_has_escapes(key) || !skip(field.value())) {
                return false;
            }
            continue;
        }
        if (seen.test(index)) {
            return false;
        }
        seen.set(index);
        next = index + 1;
        bool decoded = false;
        visit_field(index, out,
                    [&](auto& member) { decoded = decode_into(field.value(), pass, member); });
        if (!decoded) {
            return false;
        }
    }
    // A missing field is declined, optional or not: the tree decoder decides.
    return seen.all();
}

}  // namespace quvane::one_pass
