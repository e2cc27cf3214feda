#include "json_text.h"

#include <algorithm>

#include <fmt/format.h>

#include "lossy_utf8.h"
#include "patch_text.h"
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

// Whether `text` is printable ASCII without a quotation mark or reverse solidus: the common
// case, written as it stands.
bool plain_ascii(std::string_view text) noexcept {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c >= 0x20 && c <= 0x7E && c != '"' && c != '\\'; });
}

}  // namespace

void append_string(std::string& out, std::string_view raw) {
    if (plain_ascii(raw)) {
        out.push_back('"');
        out.append(raw);
        out.push_back('"');
        return;
    }
    const std::string text = to_text_lossy(raw);
    out.push_back('"');
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto [code, length] = decode_one(std::string_view(text).substr(i));
        if (code != '"' && code != '\\' && !acts_on_terminal(code)) {
            i += length;
            continue;
        }
        out.append(text, plain, i - plain);
        if (code == '"' || code == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(code));
        } else {
            fmt::format_to(std::back_inserter(out), "\\u{:04x}", static_cast<std::uint32_t>(code));
        }
        plain = i += length;
    }
    out.append(text, plain);
    out.push_back('"');
}

std::string_view word(PatchStatus status) noexcept {
    return status_word(status);
}

void append_value(std::string& out, std::string_view text) {
    append_string(out, text);
}

void append_value(std::string& out, const FileSystemName& name) {
    append_string(out, name.bytes);
}

void append_value(std::string& out, std::uint32_t number) {
    fmt::format_to(std::back_inserter(out), "{}", number);
}

void append_value(std::string& out, const TextMap& map) {
    out.push_back('{');
    bool first = true;
    for (const auto& [key, value] : map) {
        if (!first) {
            out.push_back(',');
        }
        first = false;
        append_string(out, key);
        out.push_back(':');
        append_string(out, value);
    }
    out.push_back('}');
}

}  // namespace quvane::json
