// Asking the kernel to map memory before it is written: one call instead of a page fault per
// page, for buffers that are about to be filled from one end to the other.
#pragma once

#include <cstddef>

namespace quvane::os {

// Maps the pages under [begin, begin + size) for writing, ahead of use. A hint only: where the
// kernel cannot (before Linux 5.14), the pages are mapped on first write as usual.
void populate_for_writing(void* begin, std::size_t size) noexcept;

}  // namespace quvane::os
