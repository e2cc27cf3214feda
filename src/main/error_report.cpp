#include "error_report.h"

#include <fmt/format.h>

#include "indented.h"
#include "json_text.h"

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

std::string json_form(const Error& error) {
    std::string out = "{\"error\":{\"message\":";
    json::append_string(out, error.message());
    out.append(",\"causes\":[");
    for (std::size_t i = 0; i < error.causes().size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        json::append_string(out, error.causes()[i]);
    }
    out.append("]}}");
    return out;
}

}  // namespace quvane
