#include "value_boundary.h"

namespace quvane::wire {

constexpr std::string_view whitespace = " \t\n\r";

bool ValueBoundary::invalid(std::string_view fault) noexcept {
    fault_ = fault;
    mode_ = Mode::Invalid;
    return false;
}

bool ValueBoundary::value_ended() noexcept {
    mode_ = depth_ == 0 ? Mode::Done : Mode::Structure;
    expect_ = Expect::CommaOrClose;
    return depth_ != 0;
}

bool ValueBoundary::open(bool array) noexcept {
    if (depth_ == BracketCounter::max_depth) {
        return invalid("nesting too deep");
    }
    in_array_[depth_++] = array;
    mode_ = Mode::Structure;
    expect_ = array ? Expect::ValueOrClose : Expect::KeyOrClose;
    return true;
}

bool ValueBoundary::close(bool array) noexcept {
    return in_array_[--depth_] == array ? value_ended()
                                        : invalid("a closing bracket of the wrong kind");
}

bool ValueBoundary::begin_value(char c) noexcept {
    constexpr std::string_view literals[] = {"", "rue", "alse", "ull"};
    if (c == '{' || c == '[') {
        return open(c == '[');
    }
    mode_ = c == '"' ? Mode::String : Mode::Literal;
    key_ = false;
    if (const std::size_t which = std::string_view("\"tfn").find(c);
        which != std::string_view::npos) {
        literal_rest_ = literals[which];
        return true;
    }
    if (const Number first = number_after(Number::Sign, c); c == '-' || first != Number::Bad) {
        number_ = c == '-' ? Number::Sign : first;
        mode_ = Mode::Number;
        return true;
    }
    return invalid("a byte that cannot start a JSON value");
}

bool ValueBoundary::take_structure(char c) noexcept {
    if (whitespace.find(c) != std::string_view::npos) {
        return true;
    }
    switch (expect_) {
        case Expect::ValueOrClose:
            return c == ']' ? close(true) : begin_value(c);
        case Expect::Value:
            return begin_value(c);
        case Expect::KeyOrClose:
        case Expect::Key:
            if (c == '}' && expect_ == Expect::KeyOrClose) {
                return close(false);
            }
            mode_ = Mode::String;
            key_ = true;
            return c == '"' || invalid("a byte where an object key was expected");
        case Expect::Colon:
            expect_ = Expect::Value;
            return c == ':' || invalid("a byte where a colon was expected");
        case Expect::CommaOrClose:
            if (c == ',') {
                expect_ = in_array_[depth_ - 1] ? Expect::Value : Expect::Key;
                return true;
            }
            if (c == ']' || c == '}') {
                return close(c == ']');
            }
            return invalid("a byte where a comma or a closing bracket was expected");
    }
    return invalid("a byte that cannot be JSON here");
}

bool ValueBoundary::take_escape(char c) noexcept {
    if (escape_ > 1) {
        const std::size_t digit = std::string_view("0123456789abcdefABCDEF").find(c);
        if (digit == std::string_view::npos) {
            return invalid("an invalid \\u escape in a string");
        }
        unit_ = static_cast<std::uint16_t>((unit_ << 4U) | (digit < 16 ? digit : digit - 6));
        escape_ = escape_ == 2 ? 0 : static_cast<std::uint8_t>(escape_ - 1);
        if (escape_ != 0) {
            return true;
        }
        // A UTF-16 surrogate is only half a character: a high one must be followed at once by
        // an escaped low one, and a low one must follow a high one (as the parser asks).
        if ((unit_ >= 0xDC00 && unit_ <= 0xDFFF) != low_surrogate_due_) {
            return invalid("a lone surrogate in a \\u escape");
        }
        low_surrogate_due_ = unit_ >= 0xD800 && unit_ <= 0xDBFF;
        return true;
    }
    if (low_surrogate_due_ && c != 'u') {
        return invalid("a lone surrogate in a \\u escape");
    }
    escape_ = c == 'u' ? 5 : 0;
    unit_ = 0;
    return std::string_view("u\"\\/bfnrt").find(c) != std::string_view::npos ||
           invalid("an invalid escape in a string");
}

// RFC 3629's UTF-8: the lead byte sets the continuation bytes and the range of the first.
bool ValueBoundary::take_utf8(unsigned char c) noexcept {
    if (utf8_left_ > 0) {
        const bool in_range = c >= utf8_low_ && c <= utf8_high_;
        --utf8_left_;
        utf8_low_ = 0x80;
        utf8_high_ = 0xBF;
        return in_range || invalid("a string that is not UTF-8");
    }
    if (c < 0xC2 || c > 0xF4) {
        return invalid("a string that is not UTF-8");
    }
    utf8_left_ = c <= 0xDF ? 1 : c <= 0xEF ? 2 : 3;
    utf8_low_ = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    utf8_high_ = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    return true;
}

bool ValueBoundary::take_string(unsigned char c) noexcept {
    if (escape_ != 0) {
        return take_escape(static_cast<char>(c));
    }
    if (low_surrogate_due_ && c != '\\') {
        return invalid("a lone surrogate in a \\u escape");
    }
    // Inside a UTF-8 sequence every byte must continue it, a reverse solidus too.
    if (utf8_left_ > 0 || c >= 0x80) {
        return take_utf8(c);
    }
    if (c == '\\') {
        escape_ = 1;
        return true;
    }
    if (c == '"') {  // a key's colon comes next; any other string is a whole value
        mode_ = Mode::Structure;
        expect_ = Expect::Colon;
        return key_ || value_ended();
    }
    return c >= 0x20 || invalid("a control character in a string");
}

ValueBoundary::Number ValueBoundary::number_after(Number state, char c) noexcept {
    using enum Number;
    // Per state, the next after '0', '1' to '9', '.', 'e' or 'E', '+' or '-', any other byte.
    static constexpr Number next[8][6] = {
        {Zero, Integer, Bad, Bad, Bad, Bad},               // Sign
        {Bad, Bad, Point, E, Ended, Ended},                // Zero
        {Integer, Integer, Point, E, Ended, Ended},        // Integer
        {Fraction, Fraction, Bad, Bad, Bad, Bad},          // Point
        {Fraction, Fraction, Ended, E, Ended, Ended},      // Fraction
        {Exponent, Exponent, Bad, Bad, ESign, Bad},        // E
        {Exponent, Exponent, Bad, Bad, Bad, Bad},          // ESign
        {Exponent, Exponent, Ended, Ended, Ended, Ended},  // Exponent
    };
    const int kind = c == '0'               ? 0
                     : c >= '1' && c <= '9' ? 1
                     : c == '.'             ? 2
                     : (c | 0x20) == 'e'    ? 3
                     : c == '+' || c == '-' ? 4
                                            : 5;
    return next[static_cast<int>(state)][kind];
}

bool ValueBoundary::take_number(char c) noexcept {
    using enum Number;
    const Number next = number_after(number_, c);
    if (next == Bad) {
        return invalid(number_ == Zero ? "a number with a leading zero" : "a malformed number");
    }
    if (next != Ended) {
        number_ = next;
        return true;
    }
    // The number has ended before `c`, which belongs to what follows.
    if (depth_ > 0) {
        return value_ended() && take_structure(c);
    }
    if (whitespace.find(c) == std::string_view::npos &&
        std::string_view("{}[],:\"").find(c) == std::string_view::npos) {
        return invalid("a byte that cannot continue a number");
    }
    number_ = Ended;
    mode_ = Mode::Done;
    return false;
}

bool ValueBoundary::take(char c) noexcept {
    switch (mode_) {
        case Mode::Leading:
            return begin_value(c);
        case Mode::Structure:
            return take_structure(c);
        case Mode::String:
            return take_string(static_cast<unsigned char>(c));
        case Mode::Number:
            return take_number(c);
        case Mode::Literal:
            if (c != literal_rest_.front()) {
                return invalid("a misspelt true, false or null");
            }
            literal_rest_.remove_prefix(1);
            return !literal_rest_.empty() || value_ended();
        case Mode::Done:
        case Mode::Invalid:
            break;
    }
    return false;
}

ValueBoundary::Scanned ValueBoundary::scan(std::string_view chunk) noexcept {
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        if (!take(chunk[i])) {
            // Neither an offending byte nor the one that ended a bare number is the value's.
            const bool last_is_value = mode_ != Mode::Invalid && number_ != Number::Ended;
            return {mode_ == Mode::Invalid ? Status::Invalid : Status::Complete,
                    last_is_value ? i + 1 : i};
        }
    }
    return {Status::More, chunk.size()};
}

bool ValueBoundary::complete_at_end_of_stream() const noexcept {
    // Where anything may follow a number, the stream may end too.
    return mode_ == Mode::Number && depth_ == 0 && number_after(number_, ' ') == Number::Ended;
}

}  // namespace quvane::wire
