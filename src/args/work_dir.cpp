#include "work_dir.h"

#include <system_error>

#include "system_error.h"

namespace quvane::args {

Result<std::filesystem::path> absolute_work_dir(std::string_view typed) {
    std::filesystem::path path(typed);
    if (!path.is_absolute()) {
        std::error_code error;
        std::filesystem::path current = std::filesystem::current_path(error);
        if (error) {
            return tl::unexpected(system_error(error.value()));
        }
        path = current / path;
    }
    std::string normal = path.lexically_normal().native();
    if (normal.size() > 1 && normal.back() == '/') {
        normal.pop_back();
    }
    return std::filesystem::path(std::move(normal));
}

}  // namespace quvane::args
