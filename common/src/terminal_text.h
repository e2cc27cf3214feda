// Text from outside (the daemon above all) on its way to a terminal. Control characters would
// act on the terminal rather than be shown: clear the screen, set the clipboard or the title,
// overwrite what was printed, or forge a line. On a terminal they are shown escaped; anywhere
// else the bytes go out unchanged, since scripts rely on the exact text.
#pragma once

#include <string>
#include <string_view>

namespace quvane {

enum class Shown { Verbatim, Escaped };

// Appends `text` to `out`. Escaped: C0 controls and DEL as \xHH, C1 controls and the
// bidirectional controls (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) as
// \uHHHH; line feeds too unless `keep_line_feeds`. Every other byte is copied.
void append_shown(std::string& out, std::string_view text, Shown how, bool keep_line_feeds = false);

std::string shown(std::string_view text, Shown how);

}  // namespace quvane
