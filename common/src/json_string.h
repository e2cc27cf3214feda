// The one writer of JSON strings, for the daemon's wire and for what scripts read.
#pragma once

#include <string>
#include <string_view>

namespace quvane::json {

enum class Escaping {
    // The bytes as they are (DEL and everything beyond ASCII too); the quotation mark, the
    // reverse solidus and the controls below 0x20 escaped: what the daemon is sent.
    Exact,
    // As Exact, with the text taken as UTF-8 (invalid sequences replaced by U+FFFD) and DEL,
    // the C1 and the bidirectional controls escaped too, so that no reader's terminal acts on
    // them: what `--json` writes.
    TerminalSafe,
};

// The quoted JSON string of `text`: \b \t \n \f \r short, other escapes as \u with four
// lowercase hexadecimal digits.
void append_string(std::string& out, std::string_view text, Escaping how);

}  // namespace quvane::json
