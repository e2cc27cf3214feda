// The quick way through an answer in the usual form, without the parser: the envelope's
// "jsonrpc", "id", "result" and a null "error", the result's records with exactly their own
// fields, in any order. Every byte is checked as the parser checks it (strings' escapes,
// control characters and UTF-8 too); on anything else it declines (an unknown member, the
// array form of a record, a number the records do not hold), and the one-pass decoder takes
// the same bytes. Text becomes views into the bytes, or into the arena where a string had
// escapes.
#pragma once

#include <algorithm>
#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "patch_records.h"
#include "schema.h"
#include "text_arena.h"

namespace quvane::compact {

// A position in an answer's bytes, which must be followed by at least 8 readable bytes.
class Cursor {
  public:
    Cursor(std::string_view bytes, TextArena& arena) noexcept
        : at_(bytes.data()), end_(bytes.data() + bytes.size()), arena_(arena) {}

    // Takes `c` after any blanks; false, taking only the blanks, when something else comes.
    // This and quoted() are most of the work: always inlined, a call would cost as much.
    [[gnu::always_inline]] bool take(char c) noexcept {
        skip_blanks();
        if (at_ == end_ || *at_ != c) {
            return false;
        }
        ++at_;
        return true;
    }
    // Takes the string `"text"` if it comes next, after any blanks: a key is matched as it is
    // written, and written with an escape it is not this one.
    [[gnu::always_inline]] bool quoted(std::string_view text) noexcept {
        skip_blanks();
        if (static_cast<std::size_t>(end_ - at_) < text.size() + 2 || at_[0] != '"' ||
            at_[text.size() + 1] != '"') {
            return false;
        }
        // Keys and names are a few bytes: compared here rather than by a call.
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (at_[i + 1] != text[i]) {
                return false;
            }
        }
        at_ += text.size() + 2;
        return true;
    }
    // Takes `word` (null, say) after any blanks.
    bool word(std::string_view word) noexcept;
    // Takes a string after any blanks: its text, escapes replaced; nothing when it is no string,
    // or has a control character, bytes that are not UTF-8 or an escape the parser refuses.
    std::optional<std::string_view> string();
    // After an array's '[': its numbers from 0 to 255 as bytes appended to `out`, and its ']'.
    bool byte_numbers(std::string& out);
    // Takes an integer without sign, fraction or exponent, up to `most`.
    std::optional<std::uint64_t> integer(std::uint64_t most) noexcept;
    // Takes a value that is a string, an integer as above or null.
    bool simple_value();
    // Whether only blanks are left.
    bool at_end() noexcept;

  private:
    void skip_blanks() noexcept {
        while (at_ < end_ && (*at_ == ' ' || *at_ == '\n' || *at_ == '\t' || *at_ == '\r')) {
            ++at_;
        }
    }

    const char* at_;
    const char* end_;
    TextArena& arena_;
    std::string unescaped_;  // a string's text while its escapes are replaced
};

// Each kind returns false to decline.
inline bool take_value(Cursor& cursor, Text& out) {
    const auto text = cursor.string();
    out = text.value_or(Text{});
    return text.has_value();
}
bool take_value(Cursor& cursor, std::uint32_t& out);
bool take_value(Cursor& cursor, TextMap& out);
bool take_value(Cursor& cursor, FileSystemName& out);
bool take_value(Cursor& cursor, Empty& out);
template <class E>
requires requires {
    EnumSchema<E>::names;
}
bool take_value(Cursor& cursor, E& out);
template <class R>
requires requires {
    RecordSchema<R>::fields;
}
bool take_value(Cursor& cursor, R& out);
template <class T>
bool take_value(Cursor& cursor, std::vector<T>& out);

// A name as it is written; one with an escape or unknown declines.
template <class E>
requires requires {
    EnumSchema<E>::names;
}
bool take_value(Cursor& cursor, E& out) {
    constexpr auto& names = EnumSchema<E>::names;
    const auto* named = std::find_if(names.begin(), names.end(),
                                     [&](std::string_view name) { return cursor.quoted(name); });
    out = static_cast<E>(named - names.begin());
    return named != names.end();
}

// Each of the record's fields once, in any order; an unknown or missing field declines.
template <class R>
requires requires {
    RecordSchema<R>::fields;
}
bool take_value(Cursor& cursor, R& out) {
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

template <class T>
bool take_value(Cursor& cursor, std::vector<T>& out) {
    if (!cursor.take('[')) {
        return false;
    }
    if (cursor.take(']')) {
        return true;
    }
    do {
        if (!take_value(cursor, out.emplace_back())) {
            return false;
        }
    } while (cursor.take(','));
    return cursor.take(']');
}

// Decodes `bytes`, followed by at least 8 readable bytes, into `out`; false where it declines,
// `out` and `arena` then holding whatever was taken before.
template <class T>
bool decode(std::string_view bytes, TextArena& arena, T& out) {
    enum Member : std::size_t { Result, Id, JsonRpc, Error, None };
    constexpr std::array<std::string_view, None> members{"result", "id", "jsonrpc", "error"};
    std::bitset<None> seen;
    Cursor cursor(bytes, arena);
    // Room for as many records as the bytes can hold, so that they never move.
    if constexpr (requires { out.reserve(0); }) {
        out.reserve(most_items<typename T::value_type>(bytes.size()));
    }
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
        const bool taken = which == Result    ? take_value(cursor, out)
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
