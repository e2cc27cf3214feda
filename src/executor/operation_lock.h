// The cross-process lock that lets one state-changing run at a time work on a host: a
// non-blocking flock on the lock file, held for the life of this object.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

#include "error_value.h"
#include "os/anchored_directory.h"
#include "os/file_descriptor.h"

namespace quvane::executor {

class OperationLock {
  public:
    // Opens the lock file (creating it empty, mode 0666 under the mask, when nothing is
    // there) and locks it without waiting. A link is followed only to an existing regular
    // file; anything else at the path is refused, nothing is created through a link. Fails with
    // "Failed to create flock on {path}" or "Failed to acquire flock for fd {fd}", each caused by
    // the system error; nothing stays open on failure.
    // With `wait`, a lock held by another process is tried again until it is free or the time
    // has run out, and the error then says how long it waited.
    static Result<OperationLock> acquire(
        const std::filesystem::path& path, bool exclusive,
        std::optional<std::chrono::duration<double>> wait = std::nullopt);

    // The same for the file `name` in `directory`, looked up there whatever the directory's
    // path names by now; messages show the path.
    // `busy` is called once when another run is found holding the lock.
    static Result<OperationLock> acquire(
        os::AnchoredDirectory& directory, std::string_view name, bool exclusive,
        std::optional<std::chrono::duration<double>> wait = std::nullopt,
        const std::function<void()>& busy = {});

    OperationLock(OperationLock&&) noexcept = default;
    OperationLock& operator=(OperationLock&&) noexcept = default;
    // Unlocks, ignoring failure, and closes the file.
    ~OperationLock();

    int fd() const noexcept { return fd_.get(); }
    bool exclusive() const noexcept { return exclusive_; }

  private:
    // The file `name` looked up in the directory `at` (AT_FDCWD for a path); messages show
    // `shown`.
    static Result<OperationLock> acquire_at(int at, const std::filesystem::path& name,
                                            const std::filesystem::path& shown, bool exclusive,
                                            std::optional<std::chrono::duration<double>> wait,
                                            const std::function<void()>& busy);

    OperationLock(os::FileDescriptor fd, bool exclusive)
        : fd_(std::move(fd)), exclusive_(exclusive) {}

    os::FileDescriptor fd_;
    bool exclusive_;
};

}  // namespace quvane::executor
