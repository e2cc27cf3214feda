#include "value_boundary.h"

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

// A byte that cannot continue a bare number or literal.
bool ends_scalar(char c) noexcept {
    return is_whitespace(c) || std::strchr("{}[],:\"", c) != nullptr;
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

const char* next_special(const char* p, const char* end) noexcept {
#if defined(__SSE2__)
    // Sixteen bytes at a time: '{' and '[' (and '}' and ']') differ only in bit 0x20.
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i case_bit = _mm_set1_epi8(0x20);
    const __m128i open = _mm_set1_epi8('{');
    const __m128i close = _mm_set1_epi8('}');
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i folded = _mm_or_si128(bytes, case_bit);
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)),
            _mm_or_si128(_mm_cmpeq_epi8(folded, open), _mm_cmpeq_epi8(folded, close)));
        if (const int mask = _mm_movemask_epi8(hits); mask != 0) {
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        }
        p += 16;
    }
#endif
    while (p != end && !special[static_cast<unsigned char>(*p)]) {
        ++p;
    }
    return p;
}

}  // namespace

std::optional<std::size_t> ValueBoundary::scan(std::string_view chunk) noexcept {
    const char* const begin = chunk.data();
    const char* const end = begin + chunk.size();
    const char* p = begin;
    const auto done_after = [&](const char* last) {
        state_ = State::Done;
        return static_cast<std::size_t>(last + 1 - begin);
    };
    while (p != end) {
        switch (state_) {
            case State::Leading:
                if (is_whitespace(*p)) {
                    ++p;
                    continue;
                }
                if (*p == '{' || *p == '[') {
                    state_ = State::Container;
                    depth_ = 1;
                } else if (*p == '"') {
                    state_ = State::String;
                    in_string_ = true;
                } else {
                    state_ = State::Scalar;
                }
                ++p;
                break;
            case State::Scalar:
                if (ends_scalar(*p)) {
                    state_ = State::Done;
                    return static_cast<std::size_t>(p - begin);
                }
                ++p;
                break;
            case State::String:
            case State::Container:
                if (escaped_) {
                    // The byte after a reverse solidus, whatever it is, stays inside the string.
                    escaped_ = false;
                    ++p;
                    break;
                }
                p = next_special(p, end);
                if (p == end) {
                    break;
                }
                if (in_string_) {
                    if (*p == '\\') {
                        escaped_ = true;
                    } else if (*p == '"') {
                        in_string_ = false;
                        if (state_ == State::String) {
                            return done_after(p);
                        }
                    }
                } else if (*p == '"') {
                    in_string_ = true;
                } else if (*p == '{' || *p == '[') {
                    ++depth_;
                } else if (*p == '}' || *p == ']') {
                    if (--depth_ == 0) {
                        return done_after(p);
                    }
                }
                ++p;
                break;
            case State::Done:
                return 0;
        }
    }
    return std::nullopt;
}

}  // namespace quvane::rpc
