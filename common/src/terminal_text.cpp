#include "terminal_text.h"

#include <cstdint>

#include <fmt/format.h>

namespace quvane {
namespace {

// The code point of the two- or three-byte UTF-8 sequence that starts `text`, with its length;
// a length of 0 when there is none. Every multi-byte control is within three bytes.
std::pair<char32_t, std::size_t> leading_sequence(std::string_view text) noexcept {
    const auto byte = [&](std::size_t i) {
        return i < text.size() ? static_cast<std::uint8_t>(text[i]) : std::uint8_t{0};
    };
    const auto continues = [&](std::size_t i) { return (byte(i) & 0xC0) == 0x80; };
    if (byte(0) >= 0xC2 && byte(0) <= 0xDF && continues(1)) {
        return {static_cast<char32_t>(((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F)), 2};
    }
    if (byte(0) >= 0xE0 && byte(0) <= 0xEF && continues(1) && continues(2)) {
        return {static_cast<char32_t>(((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) |
                                      (byte(2) & 0x3F)),
                3};
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
        if (c < 0x80 && acts_on_terminal(c) && !(keep_line_feeds && c == '\n')) {
            out.append(text.substr(plain, i - plain));
            fmt::format_to(std::back_inserter(out), "\\x{:02x}", c);
            plain = ++i;
            continue;
        }
        // Only a multi-byte sequence can be a C1 or bidirectional control.
        const auto [code, length] =
            c < 0x80 ? std::pair<char32_t, std::size_t>{0, 0} : leading_sequence(text.substr(i));
        if (length == 0 || !acts_on_terminal(code)) {
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
