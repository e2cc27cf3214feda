// The JSON grammar over a byte stream, a byte at a time, resumable anywhere: where a value ends,
// or what is wrong once the bytes cannot begin one (strings' UTF-8 too, RFC 8259 section 8.1).
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "wire/bracket_counter.h"

namespace quvane::wire {

class ValueBoundary {
  public:
    enum class Status { More, Complete, Invalid };
    // Complete: how many bytes of the chunk are the value's; Invalid: the offending byte's.
    struct Scanned {
        Status status;
        std::size_t length;
    };

    // Scans `chunk`, which continues the bytes scanned before. The value starts at the first
    // byte of the first chunk: whitespace before it is the caller's to skip.
    Scanned scan(std::string_view chunk) noexcept;

    bool started() const noexcept { return mode_ != Mode::Leading; }
    // Whether the stream may end here: a bare number has no closing byte of its own.
    bool complete_at_end_of_stream() const noexcept;

    std::string_view fault() const noexcept { return fault_; }  // once Invalid

  private:
    enum class Mode : std::uint8_t { Leading, Structure, String, Number, Literal, Done, Invalid };
    // What may come next outside strings.
    enum class Expect : std::uint8_t { Value, ValueOrClose, KeyOrClose, Key, Colon, CommaOrClose };
    // After a number's sign, zero, digits, point, fraction, e, e's sign, exponent; then the two
    // outcomes of a byte: the number ended before it, or it cannot be in a number there.
    enum class Number { Sign, Zero, Integer, Point, Fraction, E, ESign, Exponent, Ended, Bad };
    static Number number_after(Number state, char c) noexcept;

    // Applies one byte; false when the value cannot go on (Invalid) or is complete (Done).
    bool take(char c) noexcept;
    bool take_structure(char c) noexcept;
    bool take_string(unsigned char c) noexcept;
    bool take_escape(char c) noexcept;
    bool take_utf8(unsigned char c) noexcept;
    bool take_number(char c) noexcept;
    bool begin_value(char c) noexcept;
    bool open(bool array) noexcept;
    bool close(bool array) noexcept;
    bool value_ended() noexcept;  // at the top level, the whole value is complete
    bool invalid(std::string_view fault) noexcept;

    Mode mode_ = Mode::Leading;
    Expect expect_ = Expect::Value;
    Number number_ = Number::Sign;
    bool key_ = false;                // the string being read is an object key
    std::uint8_t escape_ = 0;         // 1: after a reverse solidus; 2 to 5: \u digits still to come
    std::uint16_t unit_ = 0;          // the UTF-16 unit of the \u escape being read
    bool low_surrogate_due_ = false;  // a high surrogate was escaped: its low half comes next
    std::uint8_t utf8_left_ = 0;      // continuation bytes still to come, the next in low..high
    unsigned char utf8_low_ = 0x80, utf8_high_ = 0xBF;
    std::string_view literal_rest_;  // the letters of true, false or null still to come
    std::size_t depth_ = 0;
    std::bitset<BracketCounter::max_depth> in_array_;  // per open bracket: '[' rather than '{'
    std::string_view fault_;
};

}  // namespace quvane::wire
