// A directory looked up once. Whoever can write one of its parents can swap the path for
// another directory at any moment; what is checked, locked and connected to through this
// object is in the one directory the path named when it was first used.
#pragma once

#include <filesystem>
#include <string_view>

#include <tl/expected.hpp>

#include "os/file_descriptor.h"

namespace quvane::os {

class AnchoredDirectory {
  public:
    // Looks nothing up yet.
    explicit AnchoredDirectory(std::filesystem::path path) : path_(std::move(path)) {}
    AnchoredDirectory(const AnchoredDirectory&) = delete;
    AnchoredDirectory& operator=(const AnchoredDirectory&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }

    // The directory's descriptor (O_PATH, numbered 64 or above so that the files the run opens
    // later, the lock whose number its messages show, get the numbers they always got), opened
    // at the first call; -1 when the path named no
    // directory then (open_error() says why). What must happen in the one directory (the lock)
    // then fails; a read-only call may still go by the path.
    int fd();
    // The errno of the failed first look-up; 0 when it succeeded or was not made yet.
    int open_error() const noexcept { return open_error_; }

    // Connects the Unix socket `socket` to the socket file `name` in the directory. Linux has no
    // connectat(): the process's working directory is moved into the directory for the call and
    // back, so this is for a process of one thread.
    tl::expected<void, int> connect_unix(int socket, std::string_view name);

  private:
    std::filesystem::path path_;
    FileDescriptor fd_;
    int open_error_ = 0;
    bool looked_up_ = false;
};

}  // namespace quvane::os
