// Finds where one JSON value ends in a stream of bytes, without parsing it: the reader
// consumes exactly the value's bytes and never waits for more once it is complete. Bytes that
// cannot be JSON are noticed as they arrive, so a wrong answer fails at once instead of
// waiting for bytes that will never make it whole.
#pragma once

#include <bitset>
#include <cstddef>
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
    // The closing byte of the container or string in [p, end), or nullptr when it goes on or
    // a byte is invalid (then fault_ is set and *p points at it).
    const char* find_end(const char*& p, const char* end) noexcept;
    Scanned start(char c) noexcept;

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
