#include "terminal_text.h"

#include <cstdint>

#include <fmt/format.h>

namespace quvane {
namespace {

// The code point of the control character whose UTF-8 form starts `text`, with its length;
// 0 when `text` does not start with one.
std::pair<char32_t, std::size_t> unicode_control(std::string_view text) noexcept {
    const auto byte = [&](std::size_t i) {
        return i < text.size() ? static_cast<std::uint8_t>(text[i]) : std::uint8_t{0};
    };
    if (byte(0) == 0xC2 && byte(1) >= 0x80 && byte(1) <= 0x9F) {
        return {byte(1), 2};  // C1
    }
    if (byte(0) == 0xD8 && byte(1) == 0x9C) {
        return {U'\u061C', 2};
    }
    if (byte(0) == 0xE2 && (byte(1) == 0x80 || byte(1) == 0x81)) {
        const char32_t code = 0x2000 + ((byte(1) & 0x3F) << 6) + (byte(2) & 0x3F);
        if ((byte(2) & 0xC0) == 0x80 &&
            (code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
             (code >= 0x2066 && code <= 0x2069))) {
            return {code, 3};
        }
    }
    return {0, 0};
}

}  // namespace

void append_shown(std::string& out, std::string_view text, Shown how, bool keep_line_feeds) {
    if (how == Shown::Verbatim) {
        out.append(text);
        return;
    }
    std::size_t plain = 0;  // start of the run of bytes copied as they are
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        if ((c < 0x20 && !(keep_line_feeds && c == '\n')) || c == 0x7F) {
            out.append(text.substr(plain, i - plain));
            fmt::format_to(std::back_inserter(out), "\\x{:02x}", c);
            plain = ++i;
            continue;
        }
        // Only a multi-byte sequence can be a C1 or bidirectional control.
        const auto [code, length] =
            c < 0x80 ? std::pair<char32_t, std::size_t>{0, 0} : unicode_control(text.substr(i));
        if (length == 0) {
            ++i;
            continue;
        }
        out.append(text.substr(plain, i - plain));
        fmt::format_to(std::back_inserter(out), "\\u{:04x}", static_cast<std::uint32_t>(code));
        plain = i += length;
    }
    out.append(text.substr(plain));
}

std::string shown(std::string_view text, Shown how) {
    std::string out;
    append_shown(out, text, how);
    return out;
}

}  // namespace quvane
