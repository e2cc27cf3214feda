#include "debug_form.h"

#include <algorithm>

#include <fmt/format.h>

#include "indented.h"

namespace quvane::debug_form {
namespace {

constexpr std::string_view indent = "    ";

}  // namespace

std::string option_field(std::string_view option) {
    std::string name(option.substr(option.find_first_not_of('-')));
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (const char c : text) {
        switch (c) {
            case '"':
                out.append("\\\"");
                break;
            case '\\':
                out.append("\\\\");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\r':
                out.append("\\r");
                break;
            case '\t':
                out.append("\\t");
                break;
            case '\0':
                out.append("\\0");
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    fmt::format_to(std::back_inserter(out), "\\u{{{:x}}}",
                                   static_cast<unsigned>(c));
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
    return out;
}

std::string boolean(bool value) {
    return value ? "true" : "false";
}

std::string list(const std::vector<std::string>& rendered_elements) {
    if (rendered_elements.empty()) {
        return "[]";
    }
    std::string out = "[\n";
    for (const std::string& element : rendered_elements) {
        out.append(indent);
        append_indented(out, element, indent);
        out.append(",\n");
    }
    out.push_back(']');
    return out;
}

std::string string_list(const std::vector<std::string>& elements) {
    std::vector<std::string> rendered;
    rendered.reserve(elements.size());
    for (const std::string& element : elements) {
        rendered.push_back(quoted(element));
    }
    return list(rendered);
}

std::string record(std::string_view name,
                   const std::vector<std::pair<std::string_view, std::string>>& fields) {
    std::string out(name);
    out.append(" {\n");
    for (const auto& [field, value] : fields) {
        out.append(indent);
        out.append(field);
        out.append(": ");
        append_indented(out, value, indent);
        out.append(",\n");
    }
    out.push_back('}');
    return out;
}

}  // namespace quvane::debug_form
