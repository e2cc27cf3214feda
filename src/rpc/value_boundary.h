// Finds where one JSON value ends in a stream of bytes, without parsing it: the reader
// consumes exactly the value's bytes and never waits for more once it is complete.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace quvane::rpc {

class ValueBoundary {
  public:
    // Scans `chunk`, which continues the bytes scanned before. Returns how many bytes of the
    // chunk belong to the value (leading whitespace included) once its last byte is in the
    // chunk; nothing while the value goes on.
    std::optional<std::size_t> scan(std::string_view chunk) noexcept;

    // Whether anything but whitespace has been seen.
    bool started() const noexcept { return state_ != State::Leading; }

    // Whether the bytes scanned so far end the value when the stream ends here: a bare number
    // or literal has no closing byte of its own.
    bool complete_at_end_of_stream() const noexcept { return state_ == State::Scalar; }

  private:
    // Applies one quotation mark, reverse solidus or bracket; true when it closes the value.
    bool take_special(char c) noexcept;
    // The closing byte of the container or string in [p, end), or nullptr when it goes on.
    const char* find_end(const char* p, const char* end) noexcept;

    enum class State { Leading, Container, String, Scalar, Done };

    State state_ = State::Leading;
    std::size_t depth_ = 0;
    bool in_string_ = false;
    bool escaped_ = false;
};

}  // namespace quvane::rpc
