#include "os/anchored_directory.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "os/unix_socket.h"

namespace quvane::os {
namespace {

// Kept clear of the low numbers, so that the files a run opens afterwards (the lock, whose
// number its messages show) get the numbers they would get without it.
constexpr int lowest_number = 64;

}  // namespace

int AnchoredDirectory::fd() {
    if (!looked_up_) {
        looked_up_ = true;
        const FileDescriptor opened(::open(path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        open_error_ = opened ? 0 : errno;
        if (opened) {
            fd_.reset(::fcntl(opened.get(), F_DUPFD_CLOEXEC, lowest_number));
        }
    }
    return fd_.get();
}

tl::expected<void, int> AnchoredDirectory::connect_unix(int socket, std::string_view name) {
    const std::filesystem::path by_path = path_ / name;
    if (fd() < 0) {
        return os::connect_unix(socket, by_path);
    }
    // Linux has no connectat(): the name is looked up relative to the working directory, which
    // is moved into the anchored one for that call alone (the run has one thread).
    const FileDescriptor here(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!here || ::fchdir(fd()) != 0) {
        return os::connect_unix(socket, by_path);
    }
    auto connected = os::connect_unix(socket, std::filesystem::path(name));
    const int error = connected ? 0 : connected.error();
    if (::fchdir(here.get()) != 0) {
        return tl::unexpected(errno);
    }
    if (error != 0) {
        return tl::unexpected(error);
    }
    return {};
}

}  // namespace quvane::os
