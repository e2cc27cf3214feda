#include "os/populate.h"

#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace quvane::os {

void populate_for_writing(void* begin, std::size_t size) noexcept {
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    // Only whole pages that lie inside the range: the start rounded up, the end down, so that
    // no page outside the caller's memory is named.
    const auto start = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(begin) + size) & ~(page - 1);
    if (end > start) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): madvise takes the page as an address
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
    }
}

}  // namespace quvane::os
