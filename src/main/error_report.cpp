#include "error_report.h"

#include <fmt/format.h>

namespace quvane {
namespace {

void append_indented(std::string& out, std::string_view text, std::string_view indent) {
    std::size_t start = 0;
    while (true) {
        const std::size_t newline = text.find('\n', start);
        out.append(
            text.substr(start, newline == std::string_view::npos ? newline : newline + 1 - start));
        if (newline == std::string_view::npos) {
            return;
        }
        out.append(indent);
        start = newline + 1;
    }
}

}  // namespace

std::string report_form(const Error& error) {
    std::string out = error.message();
    const auto& causes = error.causes();
    if (causes.empty()) {
        return out;
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
