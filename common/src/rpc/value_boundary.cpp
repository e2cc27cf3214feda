#include "value_boundary.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quvane::rpc {
namespace {

bool is_whitespace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A byte that ends a bare number.
bool ends_number(char c) noexcept {
    return is_whitespace(c) || std::strchr("{}[],:\"", c) != nullptr;
}

bool continues_number(char c) noexcept {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// The bytes that matter inside a container: outside strings the brackets and the quotation
// mark, inside them the quotation mark and the reverse solidus. One table for both keeps the
// scanning loop to a lookup per byte.
constexpr std::array<bool, 256> special = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : std::string_view("\"\\{}[]")) {
        table[c] = true;
    }
    return table;
}();

#if defined(__SSE2__)
// One bit per byte of the sixteen at `p` that is special. '{' and '[' (and '}' and ']')
// differ only in bit 0x20.
unsigned special_mask(const char* p) noexcept {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i folded = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
    const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                   _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))),
                                      _mm_or_si128(_mm_cmpeq_epi8(folded, _mm_set1_epi8('{')),
                                                   _mm_cmpeq_epi8(folded, _mm_set1_epi8('}'))));
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

}  // namespace

bool ValueBoundary::take_special(char c) noexcept {
    if (in_string_) {
        if (c == '\\') {
            escaped_ = true;
        } else if (c == '"') {
            in_string_ = false;
            return state_ == State::String;
        }
        return false;
    }
    if (c == '"') {
        in_string_ = true;
        return false;
    }
    return take_bracket(c);
}

bool ValueBoundary::take_bracket(char c) noexcept {
    if (c == '{' || c == '[') {
        if (depth_ == max_depth) {
            fault_ = "nesting too deep";
            state_ = State::Invalid;
            return false;
        }
        in_array_[depth_++] = c == '[';
        return false;
    }
    if (in_array_[--depth_] != (c == ']')) {
        fault_ = "a closing bracket of the wrong kind";
        state_ = State::Invalid;
        return false;
    }
    return depth_ == 0;
}

const char* ValueBoundary::find_end(const char*& p, const char* end) noexcept {
    while (true) {
        if (escaped_) {
            // The byte after a reverse solidus, whatever it is, stays inside the string.
            if (p == end) {
                return nullptr;
            }
            escaped_ = false;
            ++p;
        }
#if defined(__SSE2__)
        if (state_ == State::Container && end - p >= 64) {
            const Block block = classify(p);
            // A block without a reverse solidus is decided from its masks; escapes are rare
            // and take the byte-wise path below.
            if (block.backslash == 0) {
                if (const char* last = take_block(p, block)) {
                    return last;
                }
                if (state_ == State::Invalid) {
                    return nullptr;
                }
                p += 64;
                continue;
            }
        }
        if (end - p >= 16) {
            // Only the special bytes of the block are looked at, one after another.
            unsigned mask = special_mask(p);
            while (mask != 0) {
                const auto i = static_cast<unsigned>(__builtin_ctz(mask));
                mask &= mask - 1;
                if (take_special(p[i])) {
                    return p + i;
                }
                if (state_ == State::Invalid) {
                    p += i;
                    return nullptr;
                }
                if (escaped_ && i < 15) {
                    mask &= ~(1U << (i + 1));
                    escaped_ = false;
                }
            }
            p += 16;
            continue;
        }
#endif
        if (p == end) {
            return nullptr;
        }
        if (special[static_cast<unsigned char>(*p)]) {
            if (take_special(*p)) {
                return p;
            }
            if (state_ == State::Invalid) {
                return nullptr;
            }
        }
        ++p;
    }
}

#if defined(__SSE2__)
ValueBoundary::Block ValueBoundary::classify(const char* p) noexcept {
    Block block{};
    for (std::ptrdiff_t part = 0; part < 4; ++part) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
        const __m128i folded = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
        const auto mask = [&](__m128i hits) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits)))
                   << (16 * part);
        };
        block.quote |= mask(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')));
        block.backslash |= mask(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')));
        block.open |= mask(_mm_cmpeq_epi8(folded, _mm_set1_epi8('{')));
        block.close |= mask(_mm_cmpeq_epi8(folded, _mm_set1_epi8('}')));
    }
    return block;
}

const char* ValueBoundary::take_block(const char*& p, const Block& block) noexcept {
    // Byte i is inside a string when an odd number of quotation marks stand at or before it
    // (counting one for a string open at the start): a prefix XOR of the quote mask.
    std::uint64_t inside = block.quote;
    for (const int shift : {1, 2, 4, 8, 16, 32}) {
        inside ^= inside << shift;
    }
    if (in_string_) {
        inside = ~inside;
    }
    std::uint64_t brackets = (block.open | block.close) & ~inside;
    while (brackets != 0) {
        const auto i = static_cast<unsigned>(__builtin_ctzll(brackets));
        brackets &= brackets - 1;
        if (take_bracket(p[i])) {
            return p + i;
        }
        if (state_ == State::Invalid) {
            p += i;
            return nullptr;
        }
    }
    in_string_ = (inside >> 63) != 0;
    return nullptr;
}
#endif

ValueBoundary::Scanned ValueBoundary::start(char c) noexcept {
    switch (c) {
        case '{':
        case '[':
            state_ = State::Container;
            depth_ = 1;
            in_array_[0] = c == '[';
            break;
        case '"':
            state_ = State::String;
            in_string_ = true;
            break;
        case 't':
            state_ = State::Literal;
            literal_rest_ = "rue";
            break;
        case 'f':
            state_ = State::Literal;
            literal_rest_ = "alse";
            break;
        case 'n':
            state_ = State::Literal;
            literal_rest_ = "ull";
            break;
        default:
            if (c == '-' || (c >= '0' && c <= '9')) {
                state_ = State::Number;
                break;
            }
            state_ = State::Invalid;
            fault_ = "a byte that cannot start a JSON value";
            return {Status::Invalid, 0};
    }
    return {Status::More, 0};
}

ValueBoundary::Scanned ValueBoundary::scan(std::string_view chunk) noexcept {
    const char* const begin = chunk.data();
    const char* const end = begin + chunk.size();
    const char* p = begin;
    const auto offset = [&] { return static_cast<std::size_t>(p - begin); };
    while (p != end) {
        switch (state_) {
            case State::Leading:
                if (start(*p).status == Status::Invalid) {
                    return {Status::Invalid, offset()};
                }
                ++p;
                break;
            case State::Literal:
                if (*p != literal_rest_.front()) {
                    state_ = State::Invalid;
                    fault_ = "a misspelt true, false or null";
                    return {Status::Invalid, offset()};
                }
                ++p;
                literal_rest_.remove_prefix(1);
                if (literal_rest_.empty()) {
                    state_ = State::Done;
                    return {Status::Complete, offset()};
                }
                break;
            case State::Number:
                if (ends_number(*p)) {
                    state_ = State::Done;
                    return {Status::Complete, offset()};
                }
                if (!continues_number(*p)) {
                    state_ = State::Invalid;
                    fault_ = "a byte that cannot continue a number";
                    return {Status::Invalid, offset()};
                }
                ++p;
                break;
            case State::String:
            case State::Container:
                if (const char* last = find_end(p, end)) {
                    state_ = State::Done;
                    return {Status::Complete, static_cast<std::size_t>(last + 1 - begin)};
                }
                if (state_ == State::Invalid) {
                    return {Status::Invalid, offset()};
                }
                p = end;
                break;
            case State::Done:
                return {Status::Complete, 0};
            case State::Invalid:
                return {Status::Invalid, 0};
        }
    }
    return {Status::More, chunk.size()};
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
