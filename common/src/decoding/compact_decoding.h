// The quick way through an answer: read straight from its bytes, without the parser, into the
// records or the error object. It takes every form the tree decoder takes (members in any
// order, unknown members skipped, keys and names written with escapes, records as arrays,
// names as {"Name":null}) and checks every byte as the parser checks it (strings' escapes,
// control characters and UTF-8, numbers, literals, nesting up to the framing's limit). Where
// the tree would fail, or a value is out of the ordinary (a duplicate field, a missing one, a
// number the parser might read otherwise), it declines before anything is kept, and the tree
// decides. Text becomes views into the bytes, or into the arena where a string had escapes.
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

#include <simdjson.h>

#include "patch_records.h"
#include "raw_json.h"
#include "schema.h"
#include "text_arena.h"
#include "wire/bracket_counter.h"

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
    // Whether `c` comes next, after any blanks, without taking it.
    [[gnu::always_inline]] bool next_is(char c) noexcept {
        skip_blanks();
        return at_ != end_ && *at_ == c;
    }
    // Takes '{' or '[' one level deeper, or '}' or ']' one level up; false past the nesting
    // the parser takes, or when something else comes.
    [[gnu::always_inline]] bool open(char c) noexcept {
        return take(c) && ++depth_ <= wire::BracketCounter::max_depth;
    }
    [[gnu::always_inline]] bool close(char c) noexcept { return take(c) && depth_-- > 0; }
    // Takes an object or an array, `opening` its bracket, calling `each` at every member or
    // element (a member's key is its to take); false where the bytes or `each` decline.
    template <class Each>
    bool each(char opening, Each each) {
        const char closing = static_cast<char>(opening + 2);  // '{' '}' and '[' ']' alike
        if (!open(opening)) {
            return false;
        }
        if (next_is(closing)) {
            return close(closing);
        }
        do {
            if (!each()) {
                return false;
            }
        } while (take(','));
        return close(closing);
    }
    // Takes a string after any blanks: its text, escapes replaced (kept in the arena); nothing
    // when it is no string, or has a control character, bytes that are not UTF-8 or an escape
    // the parser refuses.
    std::optional<std::string_view> string() { return string_as(Keep::InArena); }
    // A key: as string(), its text valid until the next string is taken.
    std::optional<std::string_view> key() { return string_as(Keep::Briefly); }
    // Takes any value, checked as the parser checks it; false where it declines.
    bool skip_value();
    // Takes any value and gives its bytes as they are written.
    std::optional<std::string_view> raw_value();
    // Takes a value that is an integer in the signed 32-bit range, without fraction or exponent.
    std::optional<std::int32_t> int32() noexcept;
    // Takes a number, read into a double as the parser reads it.
    std::optional<double> real();

    // Where the cursor is, to come back to.
    struct Mark {
        const char* at;
        std::size_t depth;
    };
    Mark mark() const noexcept { return {at_, depth_}; }
    void rewind(Mark mark) noexcept {
        at_ = mark.at;
        depth_ = mark.depth;
    }
    // After an array's '[' (taken by open()): its numbers from 0 to 255 as bytes appended to
    // `out`, and its ']'.
    bool byte_numbers(std::string& out);
    // Takes an integer without sign, fraction or exponent, up to `most`.
    std::optional<std::uint64_t> integer(std::uint64_t most) noexcept;
    // Whether only blanks are left.
    bool at_end() noexcept;

  private:
    enum class Keep { InArena, Briefly, Not };
    std::optional<std::string_view> string_as(Keep keep);
    // A string's text from its contents as written: checked, escapes replaced, kept as asked.
    std::optional<std::string_view> text_of(std::string_view raw, bool ascii, bool escaped,
                                            Keep keep);
    // A number from 0 to 255, written with one to three digits.
    std::optional<unsigned> byte_number() noexcept;
    // A number as the JSON grammar writes it, and as the parser takes it: one of more digits
    // than the parser reads exactly, or a long exponent, is handed to the parser alone.
    bool number();

    void skip_blanks() noexcept {
        while (at_ < end_ && (*at_ == ' ' || *at_ == '\n' || *at_ == '\t' || *at_ == '\r')) {
            ++at_;
        }
    }

    const char* at_;
    const char* end_;
    std::size_t depth_ = 0;  // of brackets open around the cursor
    TextArena& arena_;
    std::string quoted_;             // a string with escapes or a long number, for the parser
    simdjson::dom::parser escapes_;  // decides on them; its text lasts until the next one
};

// Takes a key and its colon: the index of `keys` it names (as written, or with escapes), or
// keys.size() for another, nothing when it is no key.
template <std::size_t N>
[[gnu::always_inline]] inline std::optional<std::size_t> take_key(
    Cursor& cursor, const std::array<std::string_view, N>& keys, std::size_t expected = 0) {
    // The usual case: a key written as it is, the one expected next first.
    for (std::size_t tried = 0; tried < N; ++tried) {
        const std::size_t index = (expected + tried) % N;
        if (cursor.quoted(keys[index])) {
            return cursor.take(':') ? std::optional(index) : std::nullopt;
        }
    }
    const auto key = cursor.key();
    if (!key || !cursor.take(':')) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(std::find(keys.begin(), keys.end(), *key) - keys.begin());
}

// The members of an object: a key of `keys` at most once each, in any order, `take(index)`
// taking its value (trying the key after the last one first, as daemons write them in order);
// another key's value skipped. The keys seen, or nothing where it declines. Inlined: a long
// list's hot loop runs through it once per record.
template <std::size_t N, class Take>
[[gnu::always_inline]] inline std::optional<std::bitset<N>> take_members(
    Cursor& cursor, const std::array<std::string_view, N>& keys, Take take) {
    std::bitset<N> seen;
    std::size_t next = 0;
    if (!cursor.open('{')) {
        return std::nullopt;
    }
    if (!cursor.next_is('}')) {
        do {
            const auto index = take_key(cursor, keys, next);
            const bool known = index && *index < N;
            if (!index || (known && (seen.test(*index) || !take(*index))) ||
                (!known && !cursor.skip_value())) {
                return std::nullopt;
            }
            if (known) {
                seen.set(*index);
                next = *index + 1;
            }
        } while (cursor.take(','));
    }
    return cursor.close('}') ? std::optional(seen) : std::nullopt;
}

// Each kind returns false to decline.
inline bool take_value(Cursor& cursor, TextView& out) {
    const auto text = cursor.string();
    out = text.value_or(TextView{});
    return text.has_value();
}
bool take_value(Cursor& cursor, std::uint32_t& out);
bool take_value(Cursor& cursor, bool& out);
bool take_value(Cursor& cursor, double& out);
// A string copied out of the bytes.
bool take_value(Cursor& cursor, std::string& out);
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
// null: none.
template <class T>
bool take_value(Cursor& cursor, std::optional<T>& out);

// A name, as a string or as {"Name":null}; an unknown one declines.
template <class E>
requires requires {
    EnumSchema<E>::names;
}
bool take_value(Cursor& cursor, E& out) {
    constexpr auto& names = EnumSchema<E>::names;
    const auto* named = std::find_if(names.begin(), names.end(),
                                     [&](std::string_view name) { return cursor.quoted(name); });
    if (named == names.end() && cursor.next_is('"')) {
        const auto name = cursor.key();
        named = name ? std::find(names.begin(), names.end(), *name) : names.end();
    } else if (named == names.end()) {
        const auto index = cursor.open('{') ? take_key(cursor, names) : std::nullopt;
        if (!index || !cursor.word("null") || !cursor.close('}')) {
            return false;
        }
        named = names.begin() + static_cast<std::ptrdiff_t>(*index);
    }
    out = static_cast<E>(named - names.begin());
    return named != names.end();
}

// A record as an object, each field once in any order, unknown members skipped; or, where its
// schema allows, as the array of its fields in order. A missing or repeated field declines.
template <class R>
requires requires {
    RecordSchema<R>::fields;
}
bool take_value(Cursor& cursor, R& out) {
    constexpr std::size_t count = field_count<R>;
    const auto field = [&](std::size_t index) {
        bool taken = false;
        visit_field(index, out, [&](auto& member) { taken = take_value(cursor, member); });
        return taken;
    };
    if constexpr (has_array_form<R>) {
        if (cursor.next_is('[')) {
            cursor.open('[');
            for (std::size_t index = 0; index < count; ++index) {
                if ((index > 0 && !cursor.take(',')) || !field(index)) {
                    return false;
                }
            }
            return cursor.close(']');
        }
    }
    const auto seen = take_members(cursor, field_keys<R>, field);
    return seen && seen->all();
}

template <class T>
bool take_value(Cursor& cursor, std::vector<T>& out) {
    return cursor.each('[', [&] { return take_value(cursor, out.emplace_back()); });
}

template <class T>
bool take_value(Cursor& cursor, std::optional<T>& out) {
    if (cursor.word("null")) {
        out.reset();
        return true;
    }
    return take_value(cursor, out.emplace());
}

// The daemon's error object: "code" and "message", "data" as its compact text.
struct ErrorObject {
    std::int32_t code = 0;
    std::string_view message;
    std::optional<RawJson> data;
};

// How an answer went the quick way.
enum class Outcome { Decoded, Refused, Declined };

// An error object, or null; false where it declines.
bool take_error(Cursor& cursor, std::optional<ErrorObject>& out);

// Decodes `bytes`, followed by at least 8 readable bytes, into `out`, or the error object into
// `error`; on Declined, `out`, `error` and `arena` hold whatever was taken before.
template <class T>
Outcome decode(std::string_view bytes, TextArena& arena, T& out,
               std::optional<ErrorObject>& error) {
    enum Member : std::size_t { Result, Id, JsonRpc, Error };
    static constexpr std::array<std::string_view, 4> members{"result", "id", "jsonrpc", "error"};
    bool result_taken = false;
    Cursor cursor(bytes, arena);
    // Room for as many records as the bytes can hold in the usual form.
    if constexpr (requires { out.reserve(0); }) {
        out.reserve(most_items<typename T::value_type>(bytes.size()));
    }
    const auto seen = take_members(cursor, members, [&](std::size_t which) {
        switch (which) {
            case Result: {
                // A result that is no T is no fault while an error object stands beside it.
                const Cursor::Mark before = cursor.mark();
                result_taken =
                    cursor.word("null") ? std::is_same_v<T, Empty> : take_value(cursor, out);
                if (!result_taken) {
                    cursor.rewind(before);
                }
                return result_taken || cursor.skip_value();
            }
            case Id:
                return cursor.skip_value();
            case JsonRpc:
                return cursor.word("null") || cursor.string().has_value();
            default:
                return take_error(cursor, error);
        }
    });
    if (!seen || !cursor.at_end() || !seen->test(Id)) {
        return Outcome::Declined;
    }
    if (error) {
        return Outcome::Refused;
    }
    // Without a result, Empty is null.
    return result_taken || (!seen->test(Result) && std::is_same_v<T, Empty>) ? Outcome::Decoded
                                                                             : Outcome::Declined;
}

}  // namespace quvane::compact
