#include "json_string.h"

#include <cstdint>

#include <fmt/format.h>

#include "lossy_utf8.h"
#include "plain_ascii.h"
#include "terminal_text.h"

namespace quvane::json {
namespace {

// The code point of the valid UTF-8 sequence at the start of `text`, with its length.
std::pair<char32_t, std::size_t> decode_one(std::string_view text) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1};
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t code = lead & (0x3F >> (length - 1));
    for (std::size_t i = 1; i < length; ++i) {
        code = (code << 6) | (byte(i) & 0x3F);
    }
    return {code, length};
}

void append_escape(std::string& out, char32_t code) {
    constexpr std::string_view shorts = "\"\"\\\\\bb\tt\nn\ff\rr";
    for (std::size_t i = 0; i < shorts.size(); i += 2) {
        if (code == static_cast<unsigned char>(shorts[i])) {
            out.push_back('\\');
            out.push_back(shorts[i + 1]);
            return;
        }
    }
    fmt::format_to(std::back_inserter(out), "\\u{:04x}", static_cast<std::uint32_t>(code));
}

}  // namespace

void append_string(std::string& out, std::string_view raw, Escaping how) {
    out.push_back('"');
    if (plain_ascii(raw)) {
        out.append(raw);
        out.push_back('"');
        return;
    }
    const bool safe = how == Escaping::TerminalSafe;
    const std::string lossy = safe ? to_text_lossy(raw) : std::string();
    const std::string_view text = safe ? std::string_view(lossy) : raw;
    std::size_t plain = 0;  // start of the run copied as it is
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<std::uint8_t>(text[i]);
        const auto [code, length] =
            safe ? decode_one(text.substr(i)) : std::pair<char32_t, std::size_t>{byte, 1};
        if (code >= 0x20 && code != '"' && code != '\\' && !(safe && acts_on_terminal(code))) {
            i += length;
            continue;
        }
        out.append(text.substr(plain, i - plain));
        append_escape(out, code);
        plain = i += length;
    }
    out.append(text.substr(plain));
    out.push_back('"');
}

}  // namespace quvane::json
