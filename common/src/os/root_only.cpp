#include "os/root_only.h"

#include <cerrno>

#include <fcntl.h>
#include <fmt/format.h>
#include <pwd.h>
#include <sys/stat.h>

#include "lossy_utf8.h"
#include "system_error.h"

namespace quvane::os {
namespace {

tl::unexpected<OpenFailure> failed(int errnum) {
    return tl::unexpected(OpenFailure{system_error(errnum), errnum});
}

// "uid 1000 (alice)", or the bare uid when the user database has no name for it.
std::string owner_name(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
        return fmt::format("uid {} ({})", uid, to_text_lossy(found->pw_name));
    }
    return fmt::format("uid {}", uid);
}

bool root_only(const struct stat& status) {
    return status.st_uid == 0 && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// A link of root's whose directory is root's alone: only root could have made it point there.
bool trusted_link(const std::filesystem::path& path) {
    struct stat link {};
    struct stat parent {};
    const std::filesystem::path above = path.parent_path().empty() ? "." : path.parent_path();
    return ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && link.st_uid == 0 &&
           ::stat(above.c_str(), &parent) == 0 && root_only(parent);
}

}  // namespace

Result<> check_root_only(int fd, const std::filesystem::path& shown) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return tl::unexpected(system_error(errno));
    }
    if (root_only(status)) {
        return {};
    }
    const std::string name = to_text_lossy(shown.native());
    return tl::unexpected(
        Error(fmt::format("{} is owned by {} with mode {:04o}; make it owned by root and not "
                          "writable by group or others (chown root {}; chmod go-w {})",
                          name, owner_name(status.st_uid), status.st_mode & 07777, name, name)));
}

tl::expected<FileDescriptor, OpenFailure> open_root_only(const std::filesystem::path& path,
                                                         bool create) {
    const int follow = trusted_link(path) ? 0 : O_NOFOLLOW;
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | follow;
    FileDescriptor fd(::open(path.c_str(), flags));
    if (!fd && errno == ENOENT && create) {
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            return failed(errno);
        }
        fd.reset(::open(path.c_str(), flags));
    }
    if (!fd) {
        return failed(errno);
    }
    if (auto trusted = check_root_only(fd.get(), path); !trusted) {
        return tl::unexpected(OpenFailure{std::move(trusted.error()), 0, true});
    }
    return fd;
}

}  // namespace quvane::os
