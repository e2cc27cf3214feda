#include "operation_lock.h"

#include <cerrno>

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <sys/stat.h>

#include "lossy_utf8.h"
#include "system_error.h"

namespace quvane::executor {

os::FileDescriptor create_lock_file(const std::filesystem::path& path) {
    // No O_TRUNC: the file is always empty, and a link planted since the failed status check
    // must not let this run truncate whatever it points to.
    return os::FileDescriptor(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
}

Result<OperationLock> OperationLock::acquire(const std::filesystem::path& path, bool exclusive) {
    struct stat status {};
    os::FileDescriptor fd;
    if (::stat(path.c_str(), &status) == 0) {
        fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    } else {
        fd = create_lock_file(path);
    }
    if (!fd) {
        return tl::unexpected(system_error(errno).context(
            fmt::format("Failed to create flock on {}", to_text_lossy(path.native()))));
    }
    if (::flock(fd.get(), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int error = errno;
        const int number = fd.get();
        fd.reset();
        return tl::unexpected(
            system_error(error).context(fmt::format("Failed to acquire flock for fd {}", number)));
    }
    return OperationLock(std::move(fd), exclusive);
}

OperationLock::~OperationLock() {
    if (fd_) {
        ::flock(fd_.get(), LOCK_UN);
    }
}

}  // namespace quvane::executor
