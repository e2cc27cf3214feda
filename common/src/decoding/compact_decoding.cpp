#include "compact_decoding.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <string>

#include <simdjson.h>

namespace quvane::compact {
namespace {

constexpr std::uint64_t ones = 0x0101010101010101;
constexpr std::uint64_t tops = 0x8080808080808080;

// Per byte of `word` below `limit` (at most 0x80), its top bit; a byte above one that is marked
// may be marked too, but the lowest mark is always right.
constexpr std::uint64_t below(std::uint64_t word, std::uint64_t limit) noexcept {
    return (word - ones * limit) & ~word & tops;
}

// Marks the bytes at which a string's plain run ends: a quotation mark, a reverse solidus, a
// control character or a byte of a multi-byte sequence.
constexpr std::uint64_t run_ends(std::uint64_t word) noexcept {
    return below(word ^ (ones * '"'), 1) | below(word ^ (ones * '\\'), 1) | below(word, 0x20) |
           (word & tops);
}

}  // namespace

bool Cursor::word(std::string_view word) noexcept {
    skip_blanks();
    if (static_cast<std::size_t>(end_ - at_) < word.size() ||
        std::memcmp(at_, word.data(), word.size()) != 0) {
        return false;
    }
    at_ += word.size();
    return true;
}

std::optional<std::string_view> Cursor::string_as(Keep keep) {
    if (!take('"')) {
        return std::nullopt;
    }
    const char* const start = at_;
    bool ascii = true;
    bool escaped = false;
    // Eight bytes at a time; the last word may reach into the padding after the answer.
    while (at_ < end_) {
        std::uint64_t word = 0;
        std::memcpy(&word, at_, sizeof word);
        if constexpr (std::endian::native == std::endian::big) {
            word = __builtin_bswap64(word);
        }
        const std::uint64_t ends = run_ends(word);
        if (ends == 0) {
            at_ += sizeof word;
            continue;
        }
        at_ += std::countr_zero(ends) / 8;
        if (at_ >= end_) {
            return std::nullopt;
        }
        const auto c = static_cast<unsigned char>(*at_);
        if (c == '"') {
            const std::string_view raw(start, static_cast<std::size_t>(at_++ - start));
            return text_of(raw, ascii, escaped, keep);
        }
        if (c < 0x20) {
            return std::nullopt;
        }
        // Past an escape's first byte, which may be a quotation mark; a \u escape's digits are
        // plain bytes.
        escaped = escaped || c == '\\';
        ascii = ascii && c < 0x80;
        at_ += c == '\\' ? 2 : 1;
    }
    return std::nullopt;
}

std::optional<std::string_view> Cursor::text_of(std::string_view raw, bool ascii, bool escaped,
                                                Keep keep) {
    if (!escaped) {
        return ascii || simdjson::validate_utf8(raw.data(), raw.size()) ? std::optional(raw)
                                                                        : std::nullopt;
    }
    // The parser itself replaces the escapes: it takes or refuses the string as the tree does.
    quoted_.assign(1, '"').append(raw).push_back('"');
    std::string_view text;
    if (escapes_.parse(quoted_).get(text) != simdjson::SUCCESS) {
        return std::nullopt;
    }
    return keep == Keep::InArena ? arena_.keep(text) : text;
}

bool Cursor::number() {
    // The parser reads an integer of up to 19 digits exactly, and a fraction or an exponent
    // as a double, which a long one may overflow: those it is asked about.
    constexpr int most_digits = 19;
    const auto digits = [&] {
        const char* const first = at_;
        while (at_ < end_ && *at_ >= '0' && *at_ <= '9') {
            ++at_;
        }
        return static_cast<int>(at_ - first);
    };
    skip_blanks();
    const char* const start = at_;
    const bool negative = at_ < end_ && *at_ == '-';
    at_ += negative ? 1 : 0;
    const bool zero = at_ < end_ && *at_ == '0';
    const int whole = digits();
    if (whole == 0 || (zero && whole > 1)) {
        return false;
    }
    int fraction = 0;
    if (at_ < end_ && *at_ == '.') {
        ++at_;
        if ((fraction = digits()) == 0) {
            return false;
        }
    }
    int exponent = 0;
    if (at_ < end_ && (*at_ == 'e' || *at_ == 'E')) {
        ++at_;
        if (at_ < end_ && (*at_ == '+' || *at_ == '-')) {
            ++at_;
        }
        if ((exponent = digits()) == 0) {
            return false;
        }
    }
    // A negative integer of 19 digits may be below the least the parser reads.
    if (exponent <= 2 && whole + fraction <= most_digits - (negative && fraction == 0 ? 1 : 0)) {
        return true;
    }
    // Rare: the parser decides on the one token, as it would inside the whole answer.
    quoted_.assign(start, at_);
    return escapes_.parse(quoted_).error() == simdjson::SUCCESS;
}

std::optional<double> Cursor::real() {
    skip_blanks();
    const char* const start = at_;
    double value = 0;
    if (!number() || std::from_chars(start, at_, value).ptr != at_) {
        return std::nullopt;
    }
    return value;
}

bool Cursor::skip_value() {
    skip_blanks();
    if (at_ == end_) {
        return false;
    }
    switch (*at_) {
        case '"':
            return string_as(Keep::Not).has_value();
        case '{':
            return each('{', [&] { return string_as(Keep::Not) && take(':') && skip_value(); });
        case '[':
            return each('[', [&] { return skip_value(); });
        case 't':
            return word("true");
        case 'f':
            return word("false");
        case 'n':
            return word("null");
        default:
            return number();
    }
}

std::optional<std::string_view> Cursor::raw_value() {
    skip_blanks();
    const char* const start = at_;
    if (!skip_value()) {
        return std::nullopt;
    }
    return std::string_view(start, static_cast<std::size_t>(at_ - start));
}

std::optional<std::int32_t> Cursor::int32() noexcept {
    skip_blanks();
    const bool negative = at_ < end_ && *at_ == '-';
    at_ += negative ? 1 : 0;
    const auto magnitude = integer(std::uint64_t{INT32_MAX} + (negative ? 1 : 0));
    // What follows must end the number: a fraction or an exponent makes it no integer.
    if (!magnitude || (at_ < end_ && (*at_ == '.' || *at_ == 'e' || *at_ == 'E'))) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*magnitude)
                                              : static_cast<std::int64_t>(*magnitude));
}

bool Cursor::byte_numbers(std::string& out) {
    if (close(']')) {
        return true;
    }
    // At most a byte for every two bytes of text, written in place.
    const void* const close = std::memchr(at_, ']', static_cast<std::size_t>(end_ - at_));
    if (close == nullptr) {
        return false;
    }
    const std::size_t kept = out.size();
    out.resize(kept + static_cast<std::size_t>(static_cast<const char*>(close) - at_) / 2 + 1);
    char* next = out.data() + kept;
    while (true) {
        skip_blanks();
        const auto number = byte_number();
        if (!number) {
            return false;
        }
        *next++ = static_cast<char>(*number);
        skip_blanks();
        if (at_ == end_ || (*at_ != ',' && *at_ != ']')) {
            return false;
        }
        if (*at_++ == ']') {
            --depth_;
            out.resize(static_cast<std::size_t>(next - out.data()));
            return true;
        }
    }
}

[[gnu::always_inline]] inline std::optional<unsigned> Cursor::byte_number() noexcept {
    // A digit's value, or more than 9 for any other byte; reading up to two bytes past the
    // last one stays inside the padding.
    const auto digit = [](char c) {
        return static_cast<unsigned>(static_cast<unsigned char>(c) - '0');
    };
    const unsigned first = digit(at_[0]);
    const unsigned second = digit(at_[1]);
    const unsigned third = digit(at_[2]);
    // One digit, or two or three without a leading zero.
    const std::size_t digits = first > 9 ? 0 : second > 9 ? 1 : third > 9 ? 2 : 3;
    const unsigned number = digits == 1   ? first
                            : digits == 2 ? first * 10 + second
                                          : first * 100 + second * 10 + third;
    if (digits == 0 || (digits > 1 && first == 0) || number > 255 ||
        static_cast<std::size_t>(end_ - at_) < digits) {
        return std::nullopt;
    }
    at_ += digits;
    return number;
}

std::optional<std::uint64_t> Cursor::integer(std::uint64_t most) noexcept {
    skip_blanks();
    const char* const digits = at_;
    std::uint64_t number = 0;
    // A leading zero stands alone; whatever follows an integer must be a comma or a closing
    // bracket, so "1.5" or "01" declines there.
    while (at_ < end_ && *at_ >= '0' && *at_ <= '9' && number <= most &&
           !(at_ > digits && *digits == '0')) {
        number = number * 10 + static_cast<std::uint64_t>(*at_++ - '0');
    }
    if (at_ == digits || number > most) {
        return std::nullopt;
    }
    return number;
}

bool Cursor::at_end() noexcept {
    skip_blanks();
    return at_ == end_;
}

bool take_value(Cursor& cursor, std::uint32_t& out) {
    const auto number = cursor.integer(UINT32_MAX);
    out = static_cast<std::uint32_t>(number.value_or(0));
    return number.has_value();
}

bool take_value(Cursor& cursor, bool& out) {
    out = cursor.word("true");
    return out || cursor.word("false");
}

bool take_value(Cursor& cursor, double& out) {
    const auto number = cursor.real();
    out = number.value_or(0);
    return number.has_value();
}

bool take_value(Cursor& cursor, std::string& out) {
    const auto text = cursor.string();
    out.assign(text.value_or(std::string_view{}));
    return text.has_value();
}

// A repeated key: the later value wins, as in the tree.
bool take_value(Cursor& cursor, TextMap& out) {
    return cursor.each('{', [&] {
        const auto key = cursor.string();
        const auto text = key && cursor.take(':') ? cursor.string() : std::nullopt;
        if (text) {
            out.insert_or_assign(*key, *text);
        }
        return text.has_value();
    });
}

// {"Unix":[110,102]}: the bytes by their numbers; the one member.
bool take_value(Cursor& cursor, FileSystemName& out) {
    static constexpr std::array<std::string_view, 1> unix_name{"Unix"};
    return cursor.open('{') && take_key(cursor, unix_name) == 0 && cursor.open('[') &&
           cursor.byte_numbers(out.bytes) && cursor.close('}');
}

bool take_value(Cursor& cursor, Empty&) {
    return cursor.word("null");
}

namespace {

enum ErrorMember : std::size_t { Code, Message, Data, NoErrorMember };
constexpr std::array<std::string_view, NoErrorMember> error_members{"code", "message", "data"};

// One member of an error object (code, message or data) into `error`; false where it declines.
bool take_error_member(Cursor& cursor, std::size_t which, ErrorObject& error) {
    if (which == Code) {
        const auto code = cursor.int32();
        error.code = code.value_or(0);
        return code.has_value();
    }
    if (which == Message) {
        const auto message = cursor.string();
        error.message = message.value_or(std::string_view{});
        return message.has_value();
    }
    // Data, kept as the tree keeps it: the parser's compact text of the value.
    const auto raw = cursor.raw_value();
    simdjson::dom::parser parser;
    simdjson::dom::element value;
    if (!raw || parser.parse(simdjson::padded_string(*raw)).get(value) != simdjson::SUCCESS) {
        return false;
    }
    if (!value.is_null()) {
        error.data = RawJson{simdjson::minify(value)};
    }
    return true;
}

}  // namespace

bool take_error(Cursor& cursor, std::optional<ErrorObject>& out) {
    if (cursor.word("null")) {
        return true;
    }
    ErrorObject error;
    const auto seen = take_members(cursor, error_members, [&](std::size_t which) {
        return take_error_member(cursor, which, error);
    });
    if (!seen || !seen->test(Code) || !seen->test(Message)) {
        return false;
    }
    out = std::move(error);
    return true;
}

}  // namespace quvane::compact
