#include "wire/bracket_counter.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif
// What the C library learnt of the processor at start, where it says (glibc 2.33 and later);
// elsewhere the blocks go with SSE2 alone.
#if defined(__x86_64__) && __has_include(<sys/platform/x86.h>)
// The header spells its boolean type the C way, which clang's C++ does not take.
#if defined(__clang__)
#define _Bool bool  // NOLINT(bugprone-reserved-identifier)
#endif
#include <sys/platform/x86.h>
#undef _Bool
#define QUVANE_CPU_FEATURES 1
#endif

namespace quvane::wire {
namespace {

// The bytes that a reverse solidus escapes: each one after a run of them of odd length. `carry`
// says on entry whether the block before ended in a reverse solidus that escapes the first
// byte, and on return whether this one does. Four operations, with a short cut for a block
// without any; the masks, for the text `\\n_\\\n_` (runs of one and three from even and odd
// bits):
//   potential   backslashes not escaped themselves by the carry
//   code        ((potential << 1 | odd) - potential) ^ odd: each escaping reverse solidus and
//               the byte it escapes, runs told apart by where they start
//   escaped     code ^ (backslash | carry): the escaped bytes alone
constexpr std::uint64_t escaped_bytes(std::uint64_t backslash, bool& carry) noexcept {
    const std::uint64_t first = carry ? 1 : 0;
    if (backslash == 0) {
        carry = false;
        return first;
    }
    constexpr std::uint64_t odd = 0xAAAAAAAAAAAAAAAA;  // bits 1, 3, 5, ...
    const std::uint64_t potential = backslash & ~first;
    const std::uint64_t code = ((potential << 1 | odd) - potential) ^ odd;
    carry = ((code & backslash) >> 63) != 0;
    return code ^ (backslash | first);
}

// Each bit the parity of the set bits up to and including it: from quotation marks, the bytes
// inside strings (opening mark included, closing mark not).
constexpr std::uint64_t prefix_xor(std::uint64_t bits) noexcept {
    for (int shift = 1; shift < 64; shift *= 2) {
        bits ^= bits << shift;
    }
    return bits;
}

#if defined(__SSE2__)
namespace sse2 {
using Vector = __m128i;
constexpr std::size_t lanes = 16;
inline Vector load(const char* p) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline Vector splat(char c) noexcept {
    return _mm_set1_epi8(c);
}
inline Vector equal(Vector a, Vector b) noexcept {
    return _mm_cmpeq_epi8(a, b);
}
inline Vector either(Vector a, Vector b) noexcept {
    return _mm_or_si128(a, b);
}
inline std::uint64_t bits(Vector v) noexcept {
    return static_cast<unsigned>(_mm_movemask_epi8(v));
}
// Counted in registers: the baseline instruction set has no POPCNT, and the runtime's function
// for it would be a call per count.
constexpr std::size_t count(std::uint64_t bits) noexcept {
    bits -= (bits >> 1) & 0x5555555555555555;
    bits = (bits & 0x3333333333333333) + ((bits >> 2) & 0x3333333333333333);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<std::size_t>((bits * 0x0101010101010101) >> 56);
}
#include "wire/block_step.inl"
}  // namespace sse2
#endif

#if defined(__x86_64__)
// Everything defined from here to the end of the region is compiled for AVX2 and POPCNT.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,popcnt")
#endif
namespace avx2 {
using Vector = __m256i;
constexpr std::size_t lanes = 32;
inline Vector load(const char* p) noexcept {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline Vector splat(char c) noexcept {
    return _mm256_set1_epi8(c);
}
inline Vector equal(Vector a, Vector b) noexcept {
    return _mm256_cmpeq_epi8(a, b);
}
inline Vector either(Vector a, Vector b) noexcept {
    return _mm256_or_si256(a, b);
}
inline std::uint64_t bits(Vector v) noexcept {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(v));
}
inline std::size_t count(std::uint64_t bits) noexcept {
    return static_cast<std::size_t>(__builtin_popcountll(bits));
}
#include "wire/block_step.inl"
}  // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

}  // namespace

BracketCounter::BracketCounter([[maybe_unused]] bool wide_blocks) noexcept {
#if defined(QUVANE_CPU_FEATURES)
    // Read from what the C library learnt at start: no question to the processor here.
    wide_ = wide_blocks && CPU_FEATURE_ACTIVE(AVX2) && CPU_FEATURE_ACTIVE(POPCNT);
#endif
}

bool BracketCounter::scan_block([[maybe_unused]] const char* block) noexcept {
#if defined(__SSE2__)
    return sse2::take_block(block, state_);
#else
    return false;
#endif
}

bool BracketCounter::scan_block_wide([[maybe_unused]] const char* block) noexcept {
#if defined(__x86_64__)
    return avx2::take_block(block, state_);
#else
    return false;
#endif
}

std::optional<std::size_t> BracketCounter::scan_bytes(std::string_view bytes,
                                                      std::size_t i) noexcept {
    for (; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (state_.in_string) {
            state_.in_string = state_.escaped || c != '"';
            state_.escaped = !state_.escaped && c == '\\';
        } else if (c == '"') {
            state_.in_string = true;
        } else if (c == '{' || c == '[') {
            if (++state_.depth > max_depth) {
                return i + 1;
            }
        } else if (c == '}' || c == ']') {
            if (--state_.depth == 0) {
                return i + 1;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> BracketCounter::scan(std::string_view chunk) noexcept {
    std::size_t i = 0;
    while (chunk.size() - i >= 64) {
        if (wide_ ? scan_block_wide(chunk.data() + i) : scan_block(chunk.data() + i)) {
            i += 64;
            continue;
        }
        if (auto end = scan_bytes(chunk.substr(0, i + 64), i)) {
            return end;
        }
        i += 64;
    }
    return scan_bytes(chunk, i);
}

}  // namespace quvane::wire
