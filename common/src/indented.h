#pragma once

#include <string>
#include <string_view>

namespace quvane {

// Appends `text` to `out` with every line after its first preceded by `indent`, so that a
// multi-line value lines up under the column where it starts.
void append_indented(std::string& out, std::string_view text, std::string_view indent);

}  // namespace quvane
