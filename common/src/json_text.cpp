#include "json_text.h"

#include <fmt/format.h>

namespace quvane::json {

std::string_view word(PatchStatus status) noexcept {
    return status_word(status);
}

void append_value(std::string& out, std::string_view text) {
    append_string(out, text, Escaping::TerminalSafe);
}

void append_value(std::string& out, const FileSystemName& name) {
    append_string(out, name.bytes, Escaping::TerminalSafe);
}

void append_value(std::string& out, const TextMap& map) {
    out.push_back('{');
    bool first = true;
    for (const auto& [key, value] : map) {
        if (!first) {
            out.push_back(',');
        }
        first = false;
        append_string(out, key, Escaping::TerminalSafe);
        out.push_back(':');
        append_string(out, value, Escaping::TerminalSafe);
    }
    out.push_back('}');
}

}  // namespace quvane::json
