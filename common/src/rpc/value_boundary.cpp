#include "value_boundary.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quvane::rpc {
namespace {

bool is_whitespace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool is_digit(char c) noexcept {
    return c >= '0' && c <= '9';
}

bool is_hex_digit(char c) noexcept {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Inside a string, the bytes that are not simply part of it: its end, an escape, and the
// control characters JSON does not allow there.
constexpr std::array<bool, 256> string_special = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) {
        table[static_cast<std::size_t>(c)] = true;
    }
    table['"'] = true;
    table['\\'] = true;
    return table;
}();

bool special_in_string(char c) noexcept {
    return string_special[static_cast<unsigned char>(c)];
}

}  // namespace

bool ValueBoundary::invalid(std::string_view fault) noexcept {
    fault_ = fault;
    mode_ = Mode::Invalid;
    return false;
}

bool ValueBoundary::value_ended() noexcept {
    if (depth_ == 0) {
        mode_ = Mode::Done;
        return false;
    }
    mode_ = Mode::Structure;
    expect_ = Expect::CommaOrClose;
    return true;
}

bool ValueBoundary::open(bool array) noexcept {
    if (depth_ == max_depth) {
        return invalid("nesting too deep");
    }
    in_array_[depth_++] = array;
    mode_ = Mode::Structure;
    expect_ = array ? Expect::ValueOrClose : Expect::KeyOrClose;
    return true;
}

bool ValueBoundary::close(bool array) noexcept {
    if (in_array_[depth_ - 1] != array) {
        return invalid("a closing bracket of the wrong kind");
    }
    --depth_;
    return value_ended();
}

bool ValueBoundary::begin_value(char c) noexcept {
    switch (c) {
        case '{':
            return open(false);
        case '[':
            return open(true);
        case '"':
            mode_ = Mode::String;
            key_ = false;
            return true;
        case 't':
            literal_rest_ = "rue";
            mode_ = Mode::Literal;
            return true;
        case 'f':
            literal_rest_ = "alse";
            mode_ = Mode::Literal;
            return true;
        case 'n':
            literal_rest_ = "ull";
            mode_ = Mode::Literal;
            return true;
        case '-':
            number_ = Number::Sign;
            mode_ = Mode::Number;
            return true;
        default:
            if (is_digit(c)) {
                number_ = c == '0' ? Number::Zero : Number::Integer;
                mode_ = Mode::Number;
                return true;
            }
            return invalid("a byte that cannot start a JSON value");
    }
}

bool ValueBoundary::take_structure(char c) noexcept {
    if (is_whitespace(c)) {
        return true;
    }
    switch (expect_) {
        case Expect::ValueOrClose:
            if (c == ']') {
                return close(true);
            }
            return begin_value(c);
        case Expect::Value:
            return begin_value(c);
        case Expect::KeyOrClose:
            if (c == '}') {
                return close(false);
            }
            [[fallthrough]];
        case Expect::Key:
            if (c != '"') {
                return invalid("a byte where an object key was expected");
            }
            mode_ = Mode::String;
            key_ = true;
            return true;
        case Expect::Colon:
            if (c != ':') {
                return invalid("a byte where a colon was expected");
            }
            expect_ = Expect::Value;
            return true;
        case Expect::CommaOrClose:
            if (c == ',') {
                expect_ = in_array_[depth_ - 1] ? Expect::Value : Expect::Key;
                return true;
            }
            if (c == ']' || c == '}') {
                return close(c == ']');
            }
            return invalid("a byte where a comma or a closing bracket was expected");
    }
    return invalid("a byte that cannot be JSON here");
}

bool ValueBoundary::take_string(char c) noexcept {
    if (escape_ == 1) {
        if (c == 'u') {
            escape_ = 5;
            return true;
        }
        escape_ = 0;
        if (c == '"' || c == '\\' || c == '/' || c == 'b' || c == 'f' || c == 'n' || c == 'r' ||
            c == 't') {
            return true;
        }
        return invalid("an invalid escape in a string");
    }
    if (escape_ > 1) {
        if (!is_hex_digit(c)) {
            return invalid("an invalid \\u escape in a string");
        }
        escape_ = escape_ == 2 ? 0 : static_cast<std::uint8_t>(escape_ - 1);
        return true;
    }
    if (c == '\\') {
        escape_ = 1;
        escaped_ = true;
        return true;
    }
    if (c == '"') {
        if (key_) {
            mode_ = Mode::Structure;
            expect_ = Expect::Colon;
            return true;
        }
        return value_ended();
    }
    if (static_cast<unsigned char>(c) < 0x20) {
        return invalid("a control character in a string");
    }
    return true;
}

// The common tokens of an answer first: a string's quotation marks, the colon after a key, the
// comma after a value; everything else as take_structure() and take_string() say.
inline bool ValueBoundary::take_token(char c) noexcept {
    if (c == '"') {
        if (mode_ == Mode::String) {
            if (!key_) {
                return value_ended();
            }
            mode_ = Mode::Structure;
            expect_ = Expect::Colon;
            return true;
        }
        if (expect_ != Expect::Colon && expect_ != Expect::CommaOrClose) {
            key_ = expect_ == Expect::Key || expect_ == Expect::KeyOrClose;
            mode_ = Mode::String;
            return true;
        }
    } else if (mode_ == Mode::String) {
        return take_string(c);
    } else if (c == ':' && expect_ == Expect::Colon) {
        expect_ = Expect::Value;
        return true;
    } else if (c == ',' && expect_ == Expect::CommaOrClose) {
        expect_ = in_array_[depth_ - 1] ? Expect::Value : Expect::Key;
        return true;
    }
    return take_structure(c);
}

bool ValueBoundary::take_number(char c) noexcept {
    const bool digit = is_digit(c);
    switch (number_) {
        case Number::Sign:
            if (!digit) {
                return invalid("a malformed number");
            }
            number_ = c == '0' ? Number::Zero : Number::Integer;
            return true;
        case Number::Zero:
        case Number::Integer:
            if (digit) {
                if (number_ == Number::Zero) {
                    return invalid("a number with a leading zero");
                }
                return true;
            }
            if (c == '.') {
                number_ = Number::Point;
                return true;
            }
            if (c == 'e' || c == 'E') {
                number_ = Number::E;
                return true;
            }
            break;
        case Number::Point:
            if (!digit) {
                return invalid("a malformed number");
            }
            number_ = Number::Fraction;
            return true;
        case Number::Fraction:
            if (digit) {
                return true;
            }
            if (c == 'e' || c == 'E') {
                number_ = Number::E;
                return true;
            }
            break;
        case Number::E:
            if (c == '+' || c == '-') {
                number_ = Number::ESign;
                return true;
            }
            [[fallthrough]];
        case Number::ESign:
            if (!digit) {
                return invalid("a malformed number");
            }
            number_ = Number::Exponent;
            return true;
        case Number::Exponent:
            if (digit) {
                return true;
            }
            break;
    }
    // The number has ended before `c`, which belongs to what follows.
    if (depth_ == 0) {
        if (!is_whitespace(c) && std::string_view("{}[],:\"").find(c) == std::string_view::npos) {
            return invalid("a byte that cannot continue a number");
        }
        ended_before_ = true;
        mode_ = Mode::Done;
        return false;
    }
    return value_ended() && take_token(c);
}

bool ValueBoundary::take(char c) noexcept {
    switch (mode_) {
        case Mode::Leading:
            return begin_value(c);
        case Mode::Structure:
            return take_token(c);
        case Mode::String:
            return escape_ == 0 ? take_token(c) : take_string(c);
        case Mode::Number:
            return take_number(c);
        case Mode::Literal:
            if (c != literal_rest_.front()) {
                return invalid("a misspelt true, false or null");
            }
            literal_rest_.remove_prefix(1);
            return !literal_rest_.empty() || value_ended();
        case Mode::Done:
        case Mode::Invalid:
            return false;
    }
    return false;
}

#if defined(__SSE2__)
namespace {

// Per byte of the 64 at `p`, whether it ends or escapes a string or may not be in one.
std::uint64_t special_bytes(const char* p) noexcept {
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i last_control = _mm_set1_epi8(0x1F);
    std::uint64_t mask = 0;
    for (std::ptrdiff_t i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(bytes, last_control), last_control);
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)), control);
        mask |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits)))
                << (16 * i);
    }
    return mask;
}

}  // namespace
#endif

inline const char* ValueBoundary::skip_plain(const char* p, const char* end) noexcept {
#if defined(__SSE2__)
    if (path_ == Path::Fast) {
        // The bytes are classified 64 at a time, and the mask serves every string that starts
        // in them.
        while (true) {
            if (block_ != nullptr && p >= block_ && p - block_ < 64) {
                if (const std::uint64_t rest = special_ >> (p - block_); rest != 0) {
                    return p + __builtin_ctzll(rest);
                }
                p = block_ + 64;
            }
            if (end - p < 64) {
                break;
            }
            block_ = p;
            special_ = special_bytes(p);
        }
        const __m128i quote = _mm_set1_epi8('"');
        const __m128i backslash = _mm_set1_epi8('\\');
        const __m128i last_control = _mm_set1_epi8(0x1F);
        for (; end - p >= 16; p += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            // Unsigned bytes at most 0x1F are those whose maximum with 0x1F is 0x1F.
            const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(bytes, last_control), last_control);
            const __m128i hits = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)),
                control);
            if (const int mask = _mm_movemask_epi8(hits); mask != 0) {
                return p + __builtin_ctz(static_cast<unsigned>(mask));
            }
        }
    }
#endif
    return std::find_if(p, end, special_in_string);
}

namespace {

// Four bytes as one word, in the machine's order.
std::uint32_t word_at(const char* p) noexcept {
    std::uint32_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The word of `sequence` (padded with zeros), and the mask of its bytes.
struct Pattern {
    std::uint32_t word;
    std::uint32_t mask;
};

template <std::size_t N>
constexpr Pattern pattern(const char (&sequence)[N]) noexcept {
    static_assert(N - 1 <= 4);
    std::array<char, 4> bytes{};
    std::array<char, 4> ones{};
    for (std::size_t i = 0; i + 1 < N; ++i) {
        bytes[i] = sequence[i];
        ones[i] = static_cast<char>(0xFF);
    }
    return {std::bit_cast<std::uint32_t>(bytes), std::bit_cast<std::uint32_t>(ones)};
}

bool matches(std::uint32_t word, const Pattern& wanted) noexcept {
    return (word & wanted.mask) == wanted.word;
}

}  // namespace

// Compact JSON repeats a few sequences after a string's closing mark; each is taken in one step
// here, leaving the state exactly as the bytes one by one would. `p` is where a string's skip
// stopped: its closing mark, an escape or a control character.
inline const char* ValueBoundary::close_string_quickly(const char* p, const char* end) noexcept {
    constexpr Pattern key_value = pattern("\":\"");
    constexpr Pattern value_key = pattern("\",\"");
    constexpr Pattern next_record = pattern("\"},{");
    if (end - p < 4) {
        return nullptr;
    }
    const std::uint32_t word = word_at(p);
    if (key_) {
        // "key":"value
        if (matches(word, key_value)) {
            key_ = false;
            expect_ = Expect::Value;
            return p + 3;
        }
        return nullptr;
    }
    if (depth_ == 0 || in_array_[depth_ - 1]) {
        return nullptr;
    }
    // "value","key
    if (matches(word, value_key)) {
        key_ = true;
        expect_ = Expect::Key;
        return p + 3;
    }
    // "value"},{"key: the next record of an array
    if (matches(word, next_record) && end - p >= 5 && p[4] == '"' && depth_ >= 2 &&
        in_array_[depth_ - 2]) {
        key_ = true;
        expect_ = Expect::KeyOrClose;
        return p + 5;
    }
    return nullptr;
}

ValueBoundary::Scanned ValueBoundary::scan(std::string_view chunk) noexcept {
    block_ = nullptr;  // the mask of the last chunk's bytes
    const char* const begin = chunk.data();
    const char* const end = begin + chunk.size();
    const char* p = begin;
    const auto at = [&](std::size_t extra = 0) {
        return static_cast<std::size_t>(p - begin) + extra;
    };
    while (p != end) {
        if (mode_ == Mode::String && escape_ == 0) {
            // From string to string while the sequences between them are the common ones.
            p = skip_plain(p, end);
            while (p != end && path_ == Path::Fast) {
                const char* const next = close_string_quickly(p, end);
                if (next == nullptr) {
                    break;
                }
                p = skip_plain(next, end);
            }
            if (p == end) {
                break;
            }
        } else if (mode_ == Mode::Number &&
                   (number_ == Number::Integer || number_ == Number::Fraction ||
                    number_ == Number::Exponent)) {
            // The digits of a run change nothing but where it ends.
            p = std::find_if_not(p, end, is_digit);
            if (p == end) {
                break;
            }
        }
        if (mode_ == Mode::Done) {
            return {Status::Complete, at()};
        }
        const bool tokens = mode_ == Mode::Structure || (mode_ == Mode::String && escape_ == 0);
        if (!(tokens ? take_token(*p) : take(*p))) {
            if (mode_ == Mode::Invalid) {
                return {Status::Invalid, at()};
            }
            // Done: the byte that ended a bare number is not the value's; any other last byte
            // is.
            return {Status::Complete, at(ended_before_ ? 0 : 1)};
        }
        ++p;
    }
    if (mode_ == Mode::Done) {
        return {Status::Complete, 0};
    }
    if (mode_ == Mode::Invalid) {
        return {Status::Invalid, 0};
    }
    return {Status::More, chunk.size()};
}

bool ValueBoundary::complete_at_end_of_stream() const noexcept {
    return mode_ == Mode::Number && depth_ == 0 &&
           (number_ == Number::Zero || number_ == Number::Integer || number_ == Number::Fraction ||
            number_ == Number::Exponent);
}

ValueBoundary::Status ValueBoundary::append(std::string_view chunk, std::string& value) noexcept {
    if (!started()) {
        chunk.remove_prefix(std::min(chunk.find_first_not_of(" \t\n\r"), chunk.size()));
        if (chunk.empty()) {
            return Status::More;
        }
    }
    const Scanned scanned = scan(chunk);
    if (scanned.status != Status::Invalid) {
        value.append(chunk.substr(0, scanned.length));
    }
    return scanned.status;
}

}  // namespace quvane::rpc
