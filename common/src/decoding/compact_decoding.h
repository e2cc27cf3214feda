// The quick way through the usual form of a list answer, without the parser: an envelope of
// "jsonrpc", "id", "result" and a null "error", the result an array of records whose every field
// is text or a name, no string with an escape. Every byte is checked as the parser checks it
// (strings' UTF-8 and control characters too); on anything else it declines, and the one-pass
// decoder takes the same bytes. Text becomes views into the bytes.
#pragma once

#include <algorithm>
#include <array>
#include <bitset>
#include <cstddef>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "patch_records.h"
#include "schema.h"

namespace quvane::compact {

// A position in an answer's bytes, which must be followed by at least 8 readable bytes.
class Cursor {
  public:
    explicit Cursor(std::string_view bytes) noexcept
        : at_(bytes.data()), end_(bytes.data() + bytes.size()) {}

    // Takes `c` after any blanks; false, taking only the blanks, when something else comes.
    bool take(char c) noexcept;
    // Takes a string after any blanks: its text, or nothing when it is no string, or has an
    // escape, a control character or bytes that are not UTF-8.
    std::optional<std::string_view> string() noexcept;
    // Takes the string `"text"` if it comes next, after any blanks: a key is matched as it is
    // written, and written with an escape it is not this one.
    bool quoted(std::string_view text) noexcept;
    // Takes `word` (null, say) after any blanks.
    bool word(std::string_view word) noexcept;
    // Takes a value that is a string as above, an integer without sign or fraction, or null.
    bool simple_value() noexcept;
    // Whether only blanks are left.
    bool at_end() noexcept;

  private:
    void skip_blanks() noexcept;

    const char* at_;
    const char* end_;
};

template <class Record, class Value>
constexpr bool is_text_or_name(FieldSchema<Record, Value> /*field*/) {
    return std::is_same_v<Value, Text> || requires {
        EnumSchema<Value>::names;
    };
}

// Records whose fields are all strings in the JSON.
template <class R>
concept FlatRecord = requires {
    RecordSchema<R>::fields;
}
&&std::apply([](auto... fields) { return (is_text_or_name(fields) && ...); },
             RecordSchema<R>::fields);

inline bool take_value(Cursor& cursor, Text& out) {
    const auto text = cursor.string();
    out = text.value_or(Text{});
    return text.has_value();
}

// A name as it is written; one with an escape or unknown declines.
template <class E>
bool take_value(Cursor& cursor, E& out) {
    constexpr auto& names = EnumSchema<E>::names;
    const auto* named = std::find_if(names.begin(), names.end(),
                                     [&](std::string_view name) { return cursor.quoted(name); });
    out = static_cast<E>(named - names.begin());
    return named != names.end();
}

// One record, each of its fields once in any order; an unknown or missing field declines.
template <FlatRecord R>
bool take_record(Cursor& cursor, R& out) {
    constexpr std::size_t count = field_count<R>;
    std::bitset<count> seen;
    std::size_t next = 0;
    if (!cursor.take('{')) {
        return false;
    }
    for (std::size_t member = 0; member < count; ++member) {
        if (member > 0 && !cursor.take(',')) {
            return false;
        }
        const std::size_t index =
            field_index<R>(next, [&](std::string_view known) { return cursor.quoted(known); });
        if (index == count || seen.test(index) || !cursor.take(':')) {
            return false;
        }
        bool taken = false;
        visit_field(index, out, [&](auto& field) { taken = take_value(cursor, field); });
        if (!taken) {
            return false;
        }
        seen.set(index);
        next = index + 1;
    }
    return cursor.take('}');
}

template <FlatRecord R>
bool take_records(Cursor& cursor, std::size_t size, std::vector<R>& out) {
    if (!cursor.take('[')) {
        return false;
    }
    if (cursor.take(']')) {
        return true;
    }
    out.reserve(most_items<R>(size));
    do {
        if (!take_record(cursor, out.emplace_back())) {
            return false;
        }
    } while (cursor.take(','));
    return cursor.take(']');
}

// Decodes `bytes`, followed by at least 8 readable bytes, into `out`; false where it declines,
// `out` then holding whatever was taken before.
template <FlatRecord R>
bool decode(std::string_view bytes, std::vector<R>& out) {
    enum Member : std::size_t { Result, Id, JsonRpc, Error, None };
    constexpr std::array<std::string_view, None> members{"result", "id", "jsonrpc", "error"};
    std::bitset<None> seen;
    Cursor cursor(bytes);
    if (!cursor.take('{')) {
        return false;
    }
    do {
        const auto which = static_cast<Member>(
            std::find_if(members.begin(), members.end(),
                         [&](std::string_view member) { return cursor.quoted(member); }) -
            members.begin());
        if (which == None || seen.test(which) || !cursor.take(':')) {
            return false;
        }
        seen.set(which);
        const bool taken = which == Result    ? take_records(cursor, bytes.size(), out)
                           : which == Id      ? cursor.simple_value()
                           : which == JsonRpc ? cursor.string().has_value()
                                              : cursor.word("null");
        if (!taken) {
            return false;
        }
    } while (cursor.take(','));
    return cursor.take('}') && cursor.at_end() && seen.test(Result) && seen.test(Id);
}

}  // namespace quvane::compact
