#include "indented.h"

namespace quvane {

void append_indented(std::string& out, std::string_view text, std::string_view indent) {
    std::size_t start = 0;
    for (std::size_t newline = text.find('\n'); newline != std::string_view::npos;
         newline = text.find('\n', start)) {
        out.append(text.substr(start, newline + 1 - start));
        out.append(indent);
        start = newline + 1;
    }
    out.append(text.substr(start));
}

}  // namespace quvane
