#include "rpc/bracket_counter.h"

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quvane::rpc {
namespace {

#if defined(__SSE2__)
// Per byte of the 64 at `p`, whether it is `c`.
std::uint64_t equal_to(const char* p, char c) noexcept {
    const __m128i wanted = _mm_set1_epi8(c);
    std::uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        mask |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)))}
                << (16 * i);
    }
    return mask;
}
#endif

// Each bit the parity of the set bits up to and including it: from quotation marks, the bytes
// inside strings (opening mark included, closing mark not).
std::uint64_t prefix_xor(std::uint64_t bits) noexcept {
    for (int shift = 1; shift < 64; shift *= 2) {
        bits ^= bits << shift;
    }
    return bits;
}

}  // namespace

bool BracketCounter::scan_block([[maybe_unused]] const char* block) noexcept {
#if defined(__SSE2__)
    if (escaped_) {
        return false;
    }
    // A reverse solidus makes the next byte ambiguous: such blocks go a byte at a time.
    const std::uint64_t backslash = equal_to(block, '\\');
    if (backslash != 0) {
        return false;
    }
    const std::uint64_t quote = equal_to(block, '"');
    // Inside a string: after an odd number of quotation marks, counting the carried state.
    const std::uint64_t in_string = prefix_xor(quote) ^ (in_string_ ? ~std::uint64_t{0} : 0);
    const std::uint64_t opens = (equal_to(block, '{') | equal_to(block, '[')) & ~in_string;
    const std::uint64_t closes = (equal_to(block, '}') | equal_to(block, ']')) & ~in_string;
    // As many closing brackets as are open: the value may end in this block.
    if (static_cast<std::size_t>(std::popcount(closes)) >= depth_) {
        return false;
    }
    depth_ = depth_ + static_cast<std::size_t>(std::popcount(opens)) -
             static_cast<std::size_t>(std::popcount(closes));
    in_string_ = (in_string >> 63) != 0;
    return true;
#else
    return false;
#endif
}

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
            ++depth_;
        } else if ((c == '}' || c == ']') && --depth_ == 0) {
            return i + 1;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> BracketCounter::scan(std::string_view chunk) noexcept {
    std::size_t i = 0;
    while (chunk.size() - i >= 64) {
        if (scan_block(chunk.data() + i)) {
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

}  // namespace quvane::rpc
