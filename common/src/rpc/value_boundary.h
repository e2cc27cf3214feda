// Finds where one JSON value ends in a stream of bytes, checking the JSON grammar as the bytes
// arrive: the reader consumes exactly the value's bytes, never waits for more once it is
// complete, and fails as soon as the bytes so far cannot begin any valid value, instead of
// waiting for bytes that could never make it whole. A pushdown state machine over the bytes
// outside strings; string interiors are skipped a block at a time.
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

    // How string interiors are skipped: byte by byte (the reference), or sixteen bytes at a
    // time where the processor allows it, with the common sequences after a string taken in
    // one step. Both decide alike; a fuzz target holds them to it.
    enum class Path { Reference, Fast };

    // Nesting deeper than this is refused, as the parser refuses it.
    static constexpr std::size_t max_depth = 1024;

    explicit ValueBoundary(Path path = Path::Fast) noexcept : path_(path) {}

    // Scans `chunk`, which continues the bytes scanned before. The value starts at the first
    // byte of the first chunk: whitespace before it is the caller's to skip.
    Scanned scan(std::string_view chunk) noexcept;

    // For a reader that keeps the bytes it scans: scans `chunk` after dropping the blanks that
    // come before the value, and appends the value's bytes among them to `value`.
    Status append(std::string_view chunk, std::string& value) noexcept;

    // Whether anything has been scanned.
    bool started() const noexcept { return mode_ != Mode::Leading; }

    // Whether any string scanned so far holds an escape: where none does, a decoder can take
    // every string as it stands.
    bool escaped() const noexcept { return escaped_; }

    // Whether the bytes scanned so far end the value when the stream ends here: a bare number
    // has no closing byte of its own.
    bool complete_at_end_of_stream() const noexcept;

    // What was wrong, once scan() returned Invalid.
    std::string_view fault() const noexcept { return fault_; }

  private:
    enum class Mode : std::uint8_t { Leading, Structure, String, Number, Literal, Done, Invalid };
    // What may come next outside strings.
    enum class Expect : std::uint8_t { Value, ValueOrClose, KeyOrClose, Key, Colon, CommaOrClose };
    // Where a number is: after its sign, its leading zero, its integer digits, its point, its
    // fraction digits, its exponent letter, the exponent's sign, the exponent's digits.
    enum class Number : std::uint8_t { Sign, Zero, Integer, Point, Fraction, E, ESign, Exponent };

    // Applies one byte; false when the value cannot go on (Invalid) or is complete (Done).
    bool take(char c) noexcept;
    bool take_token(char c) noexcept;
    bool take_structure(char c) noexcept;
    bool take_string(char c) noexcept;
    bool take_number(char c) noexcept;
    bool begin_value(char c) noexcept;
    bool open(bool array) noexcept;
    bool close(bool array) noexcept;
    // A value has ended: at the top level the whole value is complete.
    bool value_ended() noexcept;
    bool invalid(std::string_view fault) noexcept;
    // At the closing mark of a string: past the sequence of compact JSON that follows it, with
    // the state it leaves, or null where none does.
    const char* close_string_quickly(const char* p, const char* end) noexcept;
    // The first byte in [p, end) that ends or escapes a string or is not allowed in one.
    const char* skip_plain(const char* p, const char* end) noexcept;

    Path path_;
    Mode mode_ = Mode::Leading;
    Expect expect_ = Expect::Value;
    Number number_ = Number::Sign;
    bool key_ = false;               // the string being read is an object key
    std::uint8_t escape_ = 0;        // 1: after a reverse solidus; 2 to 5: \u digits still to come
    bool ended_before_ = false;      // a bare number ended at the byte after it
    bool escaped_ = false;           // a reverse solidus was seen in a string
    std::string_view literal_rest_;  // the letters of true, false or null still to come
    std::size_t depth_ = 0;
    std::bitset<max_depth> in_array_;  // per open bracket: '[' rather than '{'
    std::string_view fault_;
    // Within one scan: the 64 bytes from block_ and which of them skip_plain() stops at.
    const char* block_ = nullptr;
    std::uint64_t special_ = 0;
};

}  // namespace quvane::rpc
