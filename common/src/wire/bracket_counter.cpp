#include "wire/bracket_counter.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
// The C library's header spells its boolean type the C way, which clang's C++ does not take.
#if defined(__clang__)
#define _Bool bool  // NOLINT(bugprone-reserved-identifier)
#endif
#include <sys/platform/x86.h>
#undef _Bool
#endif

namespace quvane::wire {
namespace {

#if defined(__SSE2__)
// Per byte of a block of 64, which of the marks the count looks at it is.
struct Marks {
    std::uint64_t quote = 0;
    std::uint64_t backslash = 0;
    std::uint64_t open = 0;   // '{' or '[' (0x7B, 0x5B: alike but for bit 0x20)
    std::uint64_t close = 0;  // '}' or ']' (0x7D, 0x5D)
};

Marks marks_of(const char* p) noexcept {
    const auto bits = [](__m128i hits, std::ptrdiff_t i) {
        return std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(hits))} << (16 * i);
    };
    Marks marks;
    for (std::ptrdiff_t i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        const __m128i folded = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
        marks.quote |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')), i);
        marks.backslash |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')), i);
        marks.open |= bits(_mm_cmpeq_epi8(folded, _mm_set1_epi8('{')), i);
        marks.close |= bits(_mm_cmpeq_epi8(folded, _mm_set1_epi8('}')), i);
    }
    return marks;
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] std::uint64_t wide_bits(__m256i hits, std::ptrdiff_t i) noexcept {
    return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(hits))} << (32 * i);
}

// The same marks, 32 bytes at a time.
[[gnu::target("avx2")]] Marks wide_marks_of(const char* p) noexcept {
    Marks marks;
    for (std::ptrdiff_t i = 0; i < 2; ++i) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * i));
        const __m256i folded = _mm256_or_si256(bytes, _mm256_set1_epi8(0x20));
        marks.quote |= wide_bits(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('"')), i);
        marks.backslash |= wide_bits(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\\')), i);
        marks.open |= wide_bits(_mm256_cmpeq_epi8(folded, _mm256_set1_epi8('{')), i);
        marks.close |= wide_bits(_mm256_cmpeq_epi8(folded, _mm256_set1_epi8('}')), i);
    }
    return marks;
}

struct PopCount {
    [[gnu::target("popcnt")]] std::size_t operator()(std::uint64_t bits) const noexcept {
        return static_cast<std::size_t>(__builtin_popcountll(bits));
    }
};
#endif

// The bytes that a reverse solidus escapes: each one after a run of them of odd length.
// `odd_run` says on entry whether the bytes before the block ended such a run, and on return
// whether the block's own bytes do.
std::uint64_t escaped_bytes(std::uint64_t backslash, bool& odd_run) noexcept {
    constexpr std::uint64_t even = 0x5555555555555555;           // bits 0, 2, 4, ...
    const std::uint64_t carried = odd_run ? 1 : 0;               // the first byte is escaped
    const std::uint64_t starts = backslash & ~(backslash << 1);  // where runs begin
    const std::uint64_t even_mask = even ^ carried;              // parity, shifted by the carry
    const std::uint64_t even_starts = starts & even_mask;        // runs from an even bit
    const std::uint64_t odd_starts = starts & ~even_mask;        // runs from an odd bit
    const std::uint64_t even_carries = backslash + even_starts;  // each run's first byte after
    std::uint64_t odd_carries = 0;
    odd_run = __builtin_add_overflow(backslash, odd_starts, &odd_carries);  // odd up to the end
    odd_carries |= carried;
    const std::uint64_t even_ends = even_carries & ~backslash & ~even;  // even start, odd length
    const std::uint64_t odd_ends = odd_carries & ~backslash & even;     // odd start, odd length
    return even_ends | odd_ends;
}

// Each bit the parity of the set bits up to and including it: from quotation marks, the bytes
// inside strings (opening mark included, closing mark not).
std::uint64_t prefix_xor(std::uint64_t bits) noexcept {
    for (int shift = 1; shift < 64; shift *= 2) {
        bits ^= bits << shift;
    }
    return bits;
}

// The set bits of `bits`, counted in registers: the baseline instruction set has no POPCNT, and
// the runtime's function for it would be a call per count.
constexpr std::size_t count_bits(std::uint64_t bits) noexcept {
    bits -= (bits >> 1) & 0x5555555555555555;
    bits = (bits & 0x3333333333333333) + ((bits >> 2) & 0x3333333333333333);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<std::size_t>((bits * 0x0101010101010101) >> 56);
}
#endif

}  // namespace

BracketCounter::BracketCounter([[maybe_unused]] bool wide_blocks) noexcept {
#if defined(__x86_64__)
    // Read from what the C library learnt at start: no question to the processor here.
    wide_ = wide_blocks && CPU_FEATURE_ACTIVE(AVX2) && CPU_FEATURE_ACTIVE(POPCNT);
#endif
}

template <class Marks, class Count>
[[gnu::always_inline]] inline bool BracketCounter::take_block(const Marks& marks,
                                                              Count count) noexcept {
    // A quotation mark that a reverse solidus escapes neither opens nor closes a string.
    bool odd_run = escaped_;
    const std::uint64_t quote = marks.quote & ~escaped_bytes(marks.backslash, odd_run);
    // Inside a string: after an odd number of quotation marks, with the state carried in.
    const std::uint64_t in_string = prefix_xor(quote) ^ (in_string_ ? ~std::uint64_t{0} : 0);
    // A reverse solidus outside a string escapes nothing there (the byte path's reading); the
    // masks above let it escape, so such a block is left to the byte path.
    if ((marks.backslash & ~in_string) != 0) {
        return false;
    }
    const std::size_t opens = count(marks.open & ~in_string);
    const std::size_t closes = count(marks.close & ~in_string);
    // As many closing brackets as are open: the value may end in this block; or it may nest
    // too deep.
    if (closes >= depth_ || depth_ + opens > max_depth) {
        return false;
    }
    depth_ = depth_ + opens - closes;
    in_string_ = (in_string >> 63) != 0;
    escaped_ = odd_run;
    return true;
}

bool BracketCounter::scan_block([[maybe_unused]] const char* block) noexcept {
#if defined(__SSE2__)
    return take_block(marks_of(block), count_bits);
#else
    return false;
#endif
}

#if defined(__x86_64__)
[[gnu::target("avx2,popcnt")]] bool BracketCounter::scan_block_wide(const char* block) noexcept {
    return take_block(wide_marks_of(block), PopCount{});
}
#else
bool BracketCounter::scan_block_wide(const char*) noexcept {
    return false;
}
#endif

std::optional<std::size_t> BracketCounter::scan_bytes(std::string_view bytes,
                                                      std::size_t i) noexcept {
    for (; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (in_string_) {
            in_string_ = escaped_ || c != '"';
            escaped_ = !escaped_ && c == '\\';
        } else if (c == '"') {
            in_string_ = true;
        } else if (c == '{' || c == '[') {
            if (++depth_ > max_depth) {
                return i + 1;
            }
        } else if (c == '}' || c == ']') {
            if (--depth_ == 0) {
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
