#include "trusted_directory.h"

#include <fmt/format.h>
#include <pwd.h>
#include <sys/stat.h>

#include "lossy_utf8.h"

namespace quvane::executor {
namespace {

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

}  // namespace

Result<> check_trusted_directory(os::AnchoredDirectory& directory) {
    struct stat status {};
    if (directory.fd() < 0 || ::fstat(directory.fd(), &status) != 0) {
        return {};
    }
    const bool others_write = (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if (status.st_uid == 0 && !others_write) {
        return {};
    }
    const std::string shown = to_text_lossy(directory.path().native());
    return tl::unexpected(
        Error(fmt::format("{} is owned by {} with mode {:04o}; make it owned by root and not "
                          "writable by group or others (chown root {}; chmod go-w {})",
                          shown, owner_name(status.st_uid), status.st_mode & 07777, shown, shown))
            .context(fmt::format("The work directory {} is not safe for the operation lock", shown))
            .of_kind(FailureKind::WorkDir));
}

}  // namespace quvane::executor
