// Finds where one JSON value ends in a stream of bytes, without parsing it: the reader
// consumes exactly the value's bytes and never waits for more once it is complete. Bytes that
// cannot be JSON are noticed as they arrive, so a wrong answer fails at once instead of
// waiting for bytes that will never make it whole.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quvane::rpc {

class ValueBoundary {
  public:
    enum class Status { More, Complete, Invalid };
    struct Scanned {
        Status status;
        // Complete: how many bytes of the chunk belong to the value. Invalid: the offset of
        // the byte that cannot be JSON.
        std::size_t length;
    };

    // Nesting deeper than this is refused, as the parser refuses it.
    static constexpr std::size_t max_depth = 1024;

    // Scans `chunk`, which continues the bytes scanned before. The value starts at the first
    // byte of the first chunk: whitespace before it is the caller's to skip.
    Scanned scan(std::string_view chunk) noexcept;

    // For a reader that keeps the bytes it scans: scans `chunk` after dropping the blanks that
    // come before the value, and appends the value's bytes among them to `value`.
    Status append(std::string_view chunk, std::string& value) noexcept;

    // Whether anything has been scanned.
    bool started() const noexcept { return state_ != State::Leading; }

    // Whether the bytes scanned so far end the value when the stream ends here: a bare number
    // has no closing byte of its own.
    bool complete_at_end_of_stream() const noexcept { return state_ == State::Number; }

    // What was wrong, once scan() returned Invalid.
    std::string_view fault() const noexcept { return fault_; }

  private:
    // Applies one quotation mark, reverse solidus or bracket; true when it closes the value.
    bool take_special(char c) noexcept;
    // Applies one bracket outside strings; true when it closes the value.
    bool take_bracket(char c) noexcept;
    // The closing byte of the container or string in [p, end), or nullptr when it goes on or
    // a byte is invalid (then fault_ is set and *p points at it).
    const char* find_end(const char*& p, const char* end) noexcept;
    Scanned start(char c) noexcept;

    // Where the quotation marks, reverse solidi and brackets are among 64 bytes, one bit each.
    struct Block {
        std::uint64_t quote;
        std::uint64_t backslash;
        std::uint64_t open;
        std::uint64_t close;
    };
    static Block classify(const char* p) noexcept;
    // Applies the brackets outside strings of a block without a reverse solidus; the closing
    // byte of the value, or nullptr when it goes on or is invalid (then *p points at the fault).
    const char* take_block(const char*& p, const Block& block) noexcept;

    enum class State { Leading, Container, String, Literal, Number, Done, Invalid };

    State state_ = State::Leading;
    std::size_t depth_ = 0;
    std::bitset<max_depth> in_array_;  // per open bracket: '[' rather than '{'
    bool in_string_ = false;
    bool escaped_ = false;
    std::string_view literal_rest_;  // the letters of true, false or null still to come
    std::string_view fault_;
};

}  // namespace quvane::rpc
