#include "operation_lock.h"

#include <cerrno>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <sys/stat.h>

#include "lossy_utf8.h"
#include "os/interruption.h"
#include "system_error.h"

namespace quvane::executor {
namespace {

// The work directory may be writable by others: whatever was planted at the lock path must
// neither block this run (a FIFO), be opened as a device, nor make it create a file elsewhere
// (a dangling link). O_NONBLOCK keeps a FIFO from stalling the open; O_NOCTTY keeps a
// terminal from becoming ours.
constexpr int open_existing_flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

std::string_view kind_of(mode_t mode) {
    switch (mode & S_IFMT) {
        case S_IFDIR:
            return "a directory";
        case S_IFIFO:
            return "a FIFO";
        case S_IFCHR:
            return "a character device";
        case S_IFBLK:
            return "a block device";
        case S_IFSOCK:
            return "a socket";
        default:
            return "not a regular file";
    }
}

Error not_a_regular_file(const std::filesystem::path& path, mode_t mode) {
    return Error(
        fmt::format("{} is {}, not a regular file", to_text_lossy(path.native()), kind_of(mode)));
}

// Where the lock file is: a name looked up in a directory (AT_FDCWD for a path as it is), and
// the path that messages show.
struct Place {
    int directory;
    std::filesystem::path name;
    std::filesystem::path shown;
};

// Decides on what the path names at one instant, without an effect on it: O_PATH opens nothing
// for reading (no device is woken, no tape rewound, no FIFO waited for) and follows a link to an
// existing file. Only a regular file is then reopened for reading, through the descriptor, so
// that a path swapped in between cannot put a device under the second open. Without /proc (a
// rescue shell, a minimal container) the name is opened again instead, and the file held only
// if it is the one decided on.
Result<os::FileDescriptor> open_existing(const Place& place) {
    struct stat status {};
    os::FileDescriptor handle(::openat(place.directory, place.name.c_str(), O_PATH | O_CLOEXEC));
    if (!handle) {
        const int error = errno;
        if (error == ENOENT &&
            ::fstatat(place.directory, place.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(status.st_mode)) {
            return tl::unexpected(Error(fmt::format("{} is a dangling symbolic link",
                                                    to_text_lossy(place.shown.native()))));
        }
        return tl::unexpected(system_error(error));
    }
    if (::fstat(handle.get(), &status) != 0) {
        return tl::unexpected(system_error(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        return tl::unexpected(not_a_regular_file(place.shown, status.st_mode));
    }
    const std::string same_file = fmt::format("/proc/self/fd/{}", handle.get());
    os::FileDescriptor fd(::open(same_file.c_str(), open_existing_flags));
    if (!fd && errno == ENOENT) {
        fd.reset(::openat(place.directory, place.name.c_str(), open_existing_flags));
    }
    if (!fd) {
        return tl::unexpected(system_error(errno));
    }
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0) {
        return tl::unexpected(system_error(errno));
    }
    if (opened.st_dev != status.st_dev || opened.st_ino != status.st_ino) {
        return tl::unexpected(Error(fmt::format("{} was replaced while it was being opened",
                                                to_text_lossy(place.shown.native()))));
    }
    // The open file takes the handle's place, so that the lock's descriptor is the lowest free
    // one, as it would be after a single open.
    if (::dup3(fd.get(), handle.get(), O_CLOEXEC) < 0) {
        return tl::unexpected(system_error(errno));
    }
    return handle;
}

// Whether the name still names the file open on `fd`: a file moved aside or replaced after it
// was opened would let another run lock a different file at the same path.
bool still_named(const Place& place, int fd) {
    struct stat named {};
    struct stat held {};
    return ::fstatat(place.directory, place.name.c_str(), &named, 0) == 0 &&
           ::fstat(fd, &held) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

// O_EXCL never follows a link, so a planted link cannot make this run create its target; no
// O_TRUNC either, the file is always empty.
Result<os::FileDescriptor> open_or_create(const Place& place) {
    struct stat status {};
    if (::fstatat(place.directory, place.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 ||
        errno != ENOENT) {
        return open_existing(place);
    }
    os::FileDescriptor created(::openat(place.directory, place.name.c_str(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (created) {
        return created;
    }
    if (errno == EEXIST) {
        // Another run created it in between, or a link is there.
        return open_existing(place);
    }
    return tl::unexpected(system_error(errno));
}

}  // namespace

Result<OperationLock> OperationLock::acquire_at(int at, const std::filesystem::path& name,
                                                const std::filesystem::path& path, bool exclusive,
                                                std::optional<std::chrono::duration<double>> wait,
                                                const std::function<void()>& busy) {
    const Place place{at, name, path};
    const std::string shown = to_text_lossy(place.shown.native());
    auto fd = open_or_create(place);
    if (!fd) {
        return tl::unexpected(std::move(fd.error())
                                  .context(fmt::format("Failed to create flock on {}", shown))
                                  .of_kind(FailureKind::WorkDir));
    }
    const int operation = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    const auto give_up = std::chrono::steady_clock::now() +
                         std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             wait.value_or(std::chrono::duration<double>::zero()));
    bool said_busy = false;
    while (::flock(fd->get(), operation) != 0) {
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (error == EWOULDBLOCK && busy && !std::exchange(said_busy, true)) {
            busy();
        }
        // Polled rather than blocking in flock, so that the wait ends on time without a timer,
        // and at once when the run is interrupted.
        if (wait && error == EWOULDBLOCK && std::chrono::steady_clock::now() < give_up &&
            !os::interrupted()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        const int number = fd->get();
        fd->reset();
        Error cause = system_error(error);
        if (wait && error == EWOULDBLOCK) {
            cause = std::move(cause).context(
                os::interrupted()
                    ? std::string("Interrupted while waiting for another run to release the lock")
                    : fmt::format("Waited {} seconds for another run to release the lock",
                                  wait->count()));
        }
        const FailureKind kind = error != EWOULDBLOCK ? FailureKind::WorkDir
                                 : os::interrupted()  ? FailureKind::Interrupted
                                                      : FailureKind::Locked;
        return tl::unexpected(std::move(cause)
                                  .context(fmt::format("Failed to acquire flock for fd {}", number))
                                  .of_kind(kind));
    }
    if (!still_named(place, fd->get())) {
        fd->reset();
        return tl::unexpected(Error(fmt::format("{} was replaced while it was being locked", shown))
                                  .context(fmt::format("Failed to create flock on {}", shown))
                                  .of_kind(FailureKind::WorkDir));
    }
    return OperationLock(std::move(*fd), exclusive);
}

Result<OperationLock> OperationLock::acquire(const std::filesystem::path& path, bool exclusive,
                                             std::optional<std::chrono::duration<double>> wait) {
    return acquire_at(AT_FDCWD, path, path, exclusive, wait, {});
}

Result<OperationLock> OperationLock::acquire(os::AnchoredDirectory& directory,
                                             std::string_view name, bool exclusive,
                                             std::optional<std::chrono::duration<double>> wait,
                                             const std::function<void()>& busy) {
    const std::filesystem::path path = directory.path() / name;
    if (const int fd = directory.fd(); fd >= 0) {
        return acquire_at(fd, std::filesystem::path(name), path, exclusive, wait, busy);
    }
    // Never by the path once the directory could not be opened: whoever can write a parent
    // could make the path name another directory now. A directory that is not there is a
    // daemon that is not running.
    const int error = directory.open_error();
    return tl::unexpected(
        system_error(error)
            .context(fmt::format("Failed to create flock on {}", to_text_lossy(path.native())))
            .of_kind(error == ENOENT ? FailureKind::Unreachable : FailureKind::WorkDir));
}

OperationLock::~OperationLock() {
    if (fd_) {
        ::flock(fd_.get(), LOCK_UN);
    }
}

}  // namespace quvane::executor
