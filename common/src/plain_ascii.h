// Text that every place quvane writes to takes as it stands: printable ASCII without the
// quotation mark and the reverse solidus. JSON strings, metrics labels and terminal columns copy
// it whole, and escape byte by byte only the rest.
#pragma once

#include <string_view>

namespace quvane {

// Whether every byte of `text` is in 0x20..0x7E and neither '"' nor '\'; eight bytes at a time.
bool plain_ascii(std::string_view text) noexcept;

}  // namespace quvane
