#include "work_dir.h"

#include <cerrno>
#include <string>
#include <vector>

#include <unistd.h>

#include "system_error.h"

namespace quvane::args {
namespace {

Result<std::string> current_directory() {
    std::vector<char> buffer(256);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        const int error = errno;
        if (error != ERANGE) {
            return tl::unexpected(system_error(error));
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

void pop_component(std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        path.clear();
    } else {
        path.erase(slash == 0 ? 1 : slash);
    }
}

}  // namespace

Result<std::filesystem::path> absolute_work_dir(std::string_view typed) {
    std::string result;
    if (typed.empty() || typed.front() != '/') {
        auto cwd = current_directory();
        if (!cwd) {
            return tl::unexpected(cwd.error());
        }
        result = std::move(*cwd);
    } else {
        result = "/";
    }
    std::size_t pos = 0;
    while (pos < typed.size()) {
        const std::size_t end = std::min(typed.find('/', pos), typed.size());
        const std::string_view component = typed.substr(pos, end - pos);
        pos = end + 1;
        if (component.empty() || component == ".") {
            continue;
        }
        if (component == "..") {
            pop_component(result);
            continue;
        }
        if (!result.empty() && result.back() != '/') {
            result.push_back('/');
        }
        result.append(component);
    }
    return std::filesystem::path(std::move(result));
}

}  // namespace quvane::args
