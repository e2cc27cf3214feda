#include "value_boundary.h"

#include <cstring>

namespace quvane::rpc {
namespace {

bool is_whitespace(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A byte that cannot continue a bare number or literal.
bool ends_scalar(char c) noexcept {
    return is_whitespace(c) || std::strchr("{}[],:\"", c) != nullptr;
}

}  // namespace

std::optional<std::size_t> ValueBoundary::scan(std::string_view chunk) noexcept {
    const char* const begin = chunk.data();
    const char* const end = begin + chunk.size();
    const char* p = begin;
    while (p != end) {
        switch (state_) {
            case State::Leading: {
                const char c = *p;
                if (is_whitespace(c)) {
                    ++p;
                    continue;
                }
                if (c == '{' || c == '[') {
                    state_ = State::Container;
                    depth_ = 1;
                } else if (c == '"') {
                    state_ = State::String;
                    in_string_ = true;
                } else {
                    state_ = State::Scalar;
                }
                ++p;
                break;
            }
            case State::Scalar:
                if (ends_scalar(*p)) {
                    state_ = State::Done;
                    return static_cast<std::size_t>(p - begin);
                }
                ++p;
                break;
            case State::String:
            case State::Container:
                if (in_string_) {
                    // Skip quickly to the next byte that can end or escape the string.
                    const char* special = p;
                    while (special != end && *special != '"' && *special != '\\' && !escaped_) {
                        ++special;
                    }
                    if (special == end) {
                        p = end;
                        break;
                    }
                    p = special;
                    if (escaped_) {
                        escaped_ = false;
                    } else if (*p == '\\') {
                        escaped_ = true;
                    } else {
                        in_string_ = false;
                        if (state_ == State::String) {
                            state_ = State::Done;
                            return static_cast<std::size_t>(p + 1 - begin);
                        }
                    }
                    ++p;
                    break;
                }
                switch (*p) {
                    case '"': in_string_ = true; break;
                    case '{':
                    case '[': ++depth_; break;
                    case '}':
                    case ']':
                        if (--depth_ == 0) {
                            state_ = State::Done;
                            return static_cast<std::size_t>(p + 1 - begin);
                        }
                        break;
                    default: break;
                }
                ++p;
                break;
            case State::Done: return 0;
        }
    }
    return std::nullopt;
}

}  // namespace quvane::rpc
