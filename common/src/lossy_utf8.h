#pragma once

#include <string>
#include <string_view>

namespace quvane {

// Copies `bytes` as UTF-8 text, replacing each maximal invalid sequence with U+FFFD.
std::string to_text_lossy(std::string_view bytes);

// Number of code points of valid UTF-8 text: the width a character-counted column gives it.
std::size_t count_code_points(std::string_view text) noexcept;

}  // namespace quvane
