#include "plain_ascii.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quvane {
namespace {

constexpr std::uint64_t ones = 0x0101010101010101;
constexpr std::uint64_t tops = 0x8080808080808080;

// Per byte of `word` below `limit` (at most 0x80), its top bit; a byte above one that is marked
// may be marked too, so a word is clean exactly when nothing is.
constexpr std::uint64_t below(std::uint64_t word, std::uint64_t limit) noexcept {
    return (word - ones * limit) & ~word & tops;
}

constexpr std::uint64_t equal(std::uint64_t word, unsigned char c) noexcept {
    return below(word ^ (ones * c), 1);
}

constexpr bool plain_word(std::uint64_t word) noexcept {
    return (below(word, 0x20) | (word & tops) | equal(word, 0x7F) | equal(word, '"') |
            equal(word, '\\')) == 0;
}

constexpr bool plain_byte(char c) noexcept {
    return c >= 0x20 && c <= 0x7E && c != '"' && c != '\\';
}

#if defined(__SSE2__)
// The same test over 16 bytes: a signed compare takes the bytes from 0x80 up as below 0x20.
inline bool plain_block(const char* at) noexcept {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i bad = _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20)),
                                                  _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7F))),
                                     _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                  _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))));
    return _mm_movemask_epi8(bad) == 0;
}
#endif

}  // namespace

bool plain_ascii(std::string_view text) noexcept {
    const auto word_at = [&](std::size_t i) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, sizeof word);
        return word;
    };
    if (text.size() < 8) {
        for (const char c : text) {
            if (!plain_byte(c)) {
                return false;
            }
        }
        return true;
    }
#if defined(__SSE2__)
    // Names and uuids are mostly 16 bytes or more: the last block overlaps the one before.
    if (text.size() >= 16) {
        for (std::size_t i = 0; i + 16 <= text.size(); i += 16) {
            if (!plain_block(text.data() + i)) {
                return false;
            }
        }
        return plain_block(text.data() + text.size() - 16);
    }
#endif
    // The last word overlaps the one before where the length is no multiple of eight.
    for (std::size_t i = 0; i + 8 <= text.size(); i += 8) {
        if (!plain_word(word_at(i))) {
            return false;
        }
    }
    return plain_word(word_at(text.size() - 8));
}

}  // namespace quvane
