#include "error_report.h"

#include <fmt/format.h>

#include "indented.h"

namespace quvane {

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
