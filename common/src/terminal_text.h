// Text from outside (the daemon above all) on its way to a terminal. Control characters would
// act on the terminal rather than be shown: clear the screen, set the clipboard or the title,
// overwrite what was printed, or forge a line. On a terminal they are shown escaped; anywhere
// else the bytes go out unchanged, since scripts rely on the exact text.
#pragma once

#include <string>
#include <string_view>

namespace quvane {

enum class Shown { Verbatim, Escaped };

// Whether the character acts on a terminal rather than showing: the C0 controls, DEL, the C1
// controls and the bidirectional controls (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066
// to U+2069).
constexpr bool acts_on_terminal(char32_t code) noexcept {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x061C || code == 0x200E ||
           code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

// Appends `text` to `out`. Escaped: what acts on a terminal, single bytes (C0, DEL) as \xHH
// and the others as \uHHHH; line feeds too unless `keep_line_feeds`. Every other byte is
// copied.
void append_shown(std::string& out, std::string_view text, Shown how, bool keep_line_feeds = false);

std::string shown(std::string_view text, Shown how);

}  // namespace quvane
