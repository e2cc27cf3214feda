// Where a JSON value that opens with a bracket ends, found by counting the brackets outside
// strings: the reader's fast path. It checks nothing else but the depth, which the parser and
// the decoders that walk the answer rely on. The grammar checks the bytes of a
// daemon that pauses (so that an invalid answer held open fails at once), and the parser the
// whole answer once it is framed.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace quvane::wire {

// What the count carries from one block to the next.
struct BlockCount {
    std::size_t depth = 0;
    bool in_string = false;
    bool escaped = false;  // the byte before was a reverse solidus inside a string
};

class BracketCounter {
  public:
    static constexpr std::size_t max_depth = 1024;  // deeper nesting is refused, as the parser does

    // Blocks go 64 bytes at a time with SSE2, or with AVX2 and POPCNT where the processor has
    // them and `wide_blocks` allows (the tests try both).
    explicit BracketCounter(bool wide_blocks = true) noexcept;

    // Scans `chunk`, which continues the bytes scanned before; the first byte of the first
    // chunk is '{' or '['. The number of the chunk's bytes that belong to the value once its
    // last bracket has closed; nullopt while it goes on. Where a bracket opens one level too
    // many, the bytes up to it, with too_deep() true.
    std::optional<std::size_t> scan(std::string_view chunk) noexcept;
    bool too_deep() const noexcept { return state_.depth > max_depth; }

  private:
    // The bytes from `i` on one at a time; the end of the value, or nullopt at the end of the
    // bytes.
    std::optional<std::size_t> scan_bytes(std::string_view bytes, std::size_t i) noexcept;
    // One block of 64 bytes at once; false, changing nothing, where the block holds a
    // reverse solidus outside a string or may hold the end.
    bool scan_block(const char* block) noexcept;
    bool scan_block_wide(const char* block) noexcept;  // the same with AVX2 and POPCNT

    BlockCount state_;
    bool wide_ = false;  // the processor has AVX2 and POPCNT
};

}  // namespace quvane::wire
