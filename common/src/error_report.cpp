#include "error_report.h"

#include <fmt/format.h>

#include "indented.h"

namespace quvane {

std::string report_form(const Error& error, Shown how) {
    std::string out = shown(error.message(), how);
    std::vector<std::string> causes;
    for (const std::string& cause : error.causes()) {
        causes.push_back(shown(cause, how));
    }
    if (causes.empty()) {
        return out;
    }
    if (!error.listed().empty() && how == Shown::Escaped) {
        // The list's own line feeds stay; only its items came from outside.
        std::vector<std::string> items;
        for (const std::string& item : error.listed()) {
            items.push_back(shown(item, how));
        }
        causes.front() = numbered_list(items);
    }
    out.append("\n\nCaused by:");
    if (causes.size() == 1) {
        out.append("\n    ");
        append_indented(out, causes.front(), "    ");
        return out;
    }
    for (std::size_t i = 0; i < causes.size(); ++i) {
        fmt::format_to(std::back_inserter(out), "\n{:>5}: ", i);
        append_indented(out, causes[i], "       ");
    }
    return out;
}

}  // namespace quvane
