#include "os/user.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "system_error.h"

namespace quvane::os::user {
namespace {

constexpr std::size_t initial_buffer_size = 1024;
constexpr std::size_t maximum_buffer_size = std::size_t{1024} * 1024;

}  // namespace

LookupResult lookup_user_id(uid_t uid) {
    std::vector<char> buffer(initial_buffer_size);
    while (true) {
        passwd entry{};
        passwd* found = nullptr;
        const int status = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
        if (status == ERANGE && buffer.size() < maximum_buffer_size) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0) {
            return tl::unexpected(LookupFailure{LookupFailure::Kind::SystemError, status});
        }
        if (found == nullptr) {
            return tl::unexpected(LookupFailure{LookupFailure::Kind::NoEntry});
        }
        return found->pw_uid;
    }
}

LookupResult CurrentUser::uid() {
    std::call_once(once_, [this] { result_ = lookup_(getuid()); });
    return result_;
}

Result<std::uint32_t> current_uid() {
    static CurrentUser current_user(lookup_user_id);
    const LookupResult uid = current_user.uid();
    if (uid) {
        return *uid;
    }
    return tl::unexpected(
        Error(uid.error().kind == LookupFailure::Kind::SystemError
                  ? "Failed to read user info: " + system_error_name(uid.error().errnum)
                  : fmt::format("Failed to read user info: no user database entry for user id {}",
                                static_cast<unsigned>(getuid())))
            .of_kind(FailureKind::UserDatabase));
}

Result<> check_superuser() {
    const auto uid = current_uid();
    if (!uid) {
        return tl::unexpected(uid.error());
    }
    if (*uid != 0) {
        return tl::unexpected(
            Error(std::string(superuser_required)).of_kind(FailureKind::NotSuperuser));
    }
    return {};
}

}  // namespace quvane::os::user
