#include "value_boundary.h"

#include <cctype>

namespace quvane::rpc {
namespace {

bool is_whitespace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool is_digit(char c) noexcept {
    return c >= '0' && c <= '9';
}

}  // namespace

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
    if (depth_ == max_depth) {
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
    if (c == '-' || is_digit(c)) {
        number_ = c == '-' ? Number::Sign : c == '0' ? Number::Zero : Number::Integer;
        mode_ = Mode::Number;
        return true;
    }
    return invalid("a byte that cannot start a JSON value");
}

bool ValueBoundary::take_structure(char c) noexcept {
    if (is_whitespace(c)) {
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
        const auto digit = static_cast<unsigned char>(c);
        if (std::isxdigit(digit) == 0) {
            return invalid("an invalid \\u escape in a string");
        }
        unit_ = static_cast<std::uint16_t>(
            unit_ * 16 + (digit <= '9' ? digit - '0' : (digit | 0x20) - 'a' + 10));
        escape_ = escape_ == 2 ? 0 : static_cast<std::uint8_t>(escape_ - 1);
        return escape_ != 0 || take_unit();
    }
    if (low_surrogate_due_ && c != 'u') {
        return invalid("a lone surrogate in a \\u escape");
    }
    escape_ = c == 'u' ? 5 : 0;
    unit_ = 0;
    return std::string_view("u\"\\/bfnrt").find(c) != std::string_view::npos ||
           invalid("an invalid escape in a string");
}

// A UTF-16 surrogate is only half a character: a high one must be followed at once by an
// escaped low one, and a low one must follow a high one (the parser refuses anything else).
bool ValueBoundary::take_unit() noexcept {
    const bool high = unit_ >= 0xD800 && unit_ <= 0xDBFF;
    const bool low = unit_ >= 0xDC00 && unit_ <= 0xDFFF;
    if (low != low_surrogate_due_) {
        return invalid("a lone surrogate in a \\u escape");
    }
    low_surrogate_due_ = high;
    return true;
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
    // Inside a UTF-8 sequence every byte must continue it, a reverse solidus too.
    if (utf8_left_ > 0) {
        return take_utf8(c);
    }
    if (c == '\\') {
        escape_ = 1;
        return true;
    }
    if (low_surrogate_due_) {
        return invalid("a lone surrogate in a \\u escape");
    }
    if (c >= 0x80) {
        return take_utf8(c);
    }
    if (c == '"') {
        if (!key_) {
            return value_ended();
        }
        mode_ = Mode::Structure;
        expect_ = Expect::Colon;
        return true;
    }
    return c >= 0x20 || invalid("a control character in a string");
}

bool ValueBoundary::take_number(char c) noexcept {
    const bool digit = is_digit(c);
    const auto next = [&](Number state) {
        number_ = state;
        return true;
    };
    switch (number_) {
        case Number::Sign:
            return digit ? next(c == '0' ? Number::Zero : Number::Integer)
                         : invalid("a malformed number");
        case Number::Zero:
        case Number::Integer:
            if (digit) {
                return number_ == Number::Integer || invalid("a number with a leading zero");
            }
            if (c == '.') {
                return next(Number::Point);
            }
            break;
        case Number::Point:
            return digit ? next(Number::Fraction) : invalid("a malformed number");
        case Number::Fraction:
        case Number::Exponent:
            if (digit) {
                return true;
            }
            break;
        case Number::E:
            if (c == '+' || c == '-') {
                return next(Number::ESign);
            }
            [[fallthrough]];
        case Number::ESign:
            return digit ? next(Number::Exponent) : invalid("a malformed number");
    }
    if ((c == 'e' || c == 'E') && number_ != Number::Exponent) {
        return next(Number::E);
    }
    return number_ended(c);
}

// The number has ended before `c`, which belongs to what follows.
bool ValueBoundary::number_ended(char c) noexcept {
    if (depth_ > 0) {
        return value_ended() && take_structure(c);
    }
    if (!is_whitespace(c) && std::string_view("{}[],:\"").find(c) == std::string_view::npos) {
        return invalid("a byte that cannot continue a number");
    }
    ended_before_ = true;
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
            if (mode_ == Mode::Invalid) {
                return {Status::Invalid, i};
            }
            // The byte that ended a bare number is not the value's; any other last byte is.
            return {Status::Complete, ended_before_ ? i : i + 1};
        }
    }
    return {Status::More, chunk.size()};
}

bool ValueBoundary::complete_at_end_of_stream() const noexcept {
    return mode_ == Mode::Number && depth_ == 0 &&
           (number_ == Number::Zero || number_ == Number::Integer || number_ == Number::Fraction ||
            number_ == Number::Exponent);
}

}  // namespace quvane::rpc
