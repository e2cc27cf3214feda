#include "os/replaced_file.h"

#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quvane::os {

ReplacedFile::ReplacedFile(int directory, std::string name, std::string temporary,
                           FileDescriptor fd)
    : directory_(directory),
      name_(std::move(name)),
      temporary_(std::move(temporary)),
      fd_(std::move(fd)) {}

ReplacedFile::ReplacedFile(ReplacedFile&& other) noexcept
    : directory_(other.directory_),
      name_(std::move(other.name_)),
      temporary_(std::move(other.temporary_)),
      fd_(std::move(other.fd_)),
      committed_(std::exchange(other.committed_, true)) {}

tl::expected<ReplacedFile, int> ReplacedFile::create(int directory, std::string name, mode_t mode) {
    // A name no other run picks at the same moment: the pid and the clock.
    const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0;; ++attempt) {
        std::string temporary = fmt::format(".{}.{}.{:x}", name, ::getpid(), tick + attempt);
        FileDescriptor fd(::openat(directory, temporary.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!fd && errno == EEXIST && attempt < 8) {
            continue;
        }
        if (!fd) {
            return tl::unexpected(errno);
        }
        // The process's file-creation mask is 077: the mode is meant as given.
        if (::fchmod(fd.get(), mode) != 0) {
            const int error = errno;
            ::unlinkat(directory, temporary.c_str(), 0);
            return tl::unexpected(error);
        }
        return ReplacedFile(directory, std::move(name), std::move(temporary), std::move(fd));
    }
}

ReplacedFile::~ReplacedFile() {
    if (!committed_) {
        ::unlinkat(directory_, temporary_.c_str(), 0);
    }
}

tl::expected<void, int> ReplacedFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_.get(), bytes.data(), bytes.size());
        if (written < 0 && errno != EINTR) {
            return tl::unexpected(errno);
        }
        bytes.remove_prefix(written > 0 ? static_cast<std::size_t>(written) : 0);
    }
    return {};
}

tl::expected<void, int> ReplacedFile::write_at(off_t offset, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::pwrite(fd_.get(), bytes.data(), bytes.size(), offset);
        if (written < 0 && errno != EINTR) {
            return tl::unexpected(errno);
        }
        const auto taken = written > 0 ? static_cast<std::size_t>(written) : 0;
        bytes.remove_prefix(taken);
        offset += static_cast<off_t>(taken);
    }
    return {};
}

tl::expected<void, int> ReplacedFile::commit() {
    if (::fsync(fd_.get()) != 0 ||
        ::renameat(directory_, temporary_.c_str(), directory_, name_.c_str()) != 0) {
        return tl::unexpected(errno);
    }
    committed_ = true;
    return {};
}

}  // namespace quvane::os
