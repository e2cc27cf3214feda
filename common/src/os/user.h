// Who runs this process: the user-database entry of the real user id, looked up once.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>

#include <sys/types.h>
#include <tl/expected.hpp>

#include "error_value.h"

namespace quvane::os::user {

inline constexpr std::string_view superuser_required =
    "This command has to be run with superuser privileges (under the root user on most systems).";

// Why the entry of a user id could not be had.
struct LookupFailure {
    enum class Kind { NoEntry, SystemError } kind;
    int errnum = 0;  // for SystemError
};

using LookupResult = tl::expected<std::uint32_t, LookupFailure>;

// Reads the entry of `uid` with getpwuid_r, growing the buffer on ERANGE up to a bound.
LookupResult lookup_user_id(uid_t uid);

// Remembers the first successful lookup of the real user id; concurrent first calls perform
// it exactly once.
class CurrentUser {
  public:
    using Lookup = std::function<LookupResult(uid_t)>;

    explicit CurrentUser(Lookup lookup) : lookup_(std::move(lookup)) {}

    LookupResult uid();

  private:
    Lookup lookup_;
    std::once_flag once_;
    LookupResult result_;
};

// The current user's id; the error "Failed to read user info: EIO" (the system error's name),
// of kind UserDatabase, when the user database cannot be read or has no entry for the real
// user id.
Result<std::uint32_t> current_uid();

// Succeeds for user id 0; otherwise the superuser error, without cause, or the lookup's.
Result<> check_superuser();

}  // namespace quvane::os::user
