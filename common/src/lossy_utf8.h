#pragma once

#include <string>
#include <string_view>

namespace quvane {

// Copies `bytes` as UTF-8 text, replacing each maximal invalid sequence with U+FFFD.
std::string to_text_lossy(std::string_view bytes);

// The length of the valid UTF-8 sequence that starts `text`, or 0 when none does.
std::size_t utf8_sequence_length(std::string_view text) noexcept;

// The width a character-counted column gives valid UTF-8 text: one per code point.
std::size_t column_width(std::string_view text) noexcept;

}  // namespace quvane
