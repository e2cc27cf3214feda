#include "system_error.h"

#include <cstring>

#include <fmt/format.h>

namespace quvane {

std::string system_error_text(int errnum) {
    char buffer[256];
    // The GNU strerror_r may return a static string instead of filling the buffer.
    const char* description = strerror_r(errnum, buffer, sizeof buffer);
    return fmt::format("{} (os error {})", description, errnum);
}

std::string system_error_name(int errnum) {
    if (const char* name = strerrorname_np(errnum)) {
        return name;
    }
    return std::to_string(errnum);
}

Error system_error(int errnum) {
    return Error(system_error_text(errnum));
}

}  // namespace quvane
