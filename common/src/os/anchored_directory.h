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

    // The directory's descriptor (O_PATH), opened at the first call; -1 when the path named no
    // directory then, and the callers go by the path (and fail with its own error).
    int fd();

    // Connects the Unix socket `socket` to the socket file `name` in the directory.
    tl::expected<void, int> connect_unix(int socket, std::string_view name);

  private:
    std::filesystem::path path_;
    FileDescriptor fd_;
    bool looked_up_ = false;
};

}  // namespace quvane::os
