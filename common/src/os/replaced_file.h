// A file replaced at once inside a directory held by its descriptor: written under a temporary
// name beside it, synced, then renamed over it. A reader sees the old file or the new one, never
// half of either, and a link planted at the name is replaced, never followed.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <sys/types.h>
#include <tl/expected.hpp>

#include "os/file_descriptor.h"

namespace quvane::os {

class ReplacedFile {
  public:
    // Starts the replacement of `name` in `directory` (which outlives this object) with a new
    // file of `mode`; the error is errno.
    static tl::expected<ReplacedFile, int> create(int directory, std::string name, mode_t mode);
    ReplacedFile(ReplacedFile&& other) noexcept;
    ReplacedFile& operator=(ReplacedFile&&) = delete;
    ReplacedFile(const ReplacedFile&) = delete;
    ReplacedFile& operator=(const ReplacedFile&) = delete;
    // Removes the temporary file unless the replacement was committed.
    ~ReplacedFile();

    // Appends `bytes`, resumed after an interrupted or short write.
    tl::expected<void, int> write(std::string_view bytes);
    // Writes `bytes` over what the new file holds at `offset`.
    tl::expected<void, int> write_at(off_t offset, std::string_view bytes);
    // Syncs the new file and renames it over the old one.
    tl::expected<void, int> commit();

  private:
    ReplacedFile(int directory, std::string name, std::string temporary, FileDescriptor fd);

    int directory_;
    std::string name_;
    std::string temporary_;
    FileDescriptor fd_;
    bool committed_ = false;
};

}  // namespace quvane::os
