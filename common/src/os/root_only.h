// Directories that a root-run quvane trusts with what it reads and writes there: the work
// directory (the operation lock), the state directory (the boot set's record) and the metrics
// directory. Whoever can write such a directory can swap what root reads or point what root
// writes anywhere, so it must be root's and writable by nobody else, as sshd asks of the files
// it trusts.
#pragma once

#include <filesystem>

#include "error_value.h"
#include "os/file_descriptor.h"

namespace quvane::os {

// Succeeds for the open directory `fd` when it is owned by uid 0 and not writable by group or
// others; otherwise an error naming `shown`, its owner and mode, and the fix.
Result<> check_root_only(int fd, const std::filesystem::path& shown);

// Opens the directory `path` for files made inside it and checks it as above; with `create`,
// makes it (mode 0700) when it is missing. A link at its last component is followed only when
// it is root's and sits in a root-only directory (a state directory moved to another disk and
// linked back).
struct OpenFailure {
    Error error;
    int errnum = 0;  // when the directory could not be opened or made
    bool untrusted = false;
};
tl::expected<FileDescriptor, OpenFailure> open_root_only(const std::filesystem::path& path,
                                                         bool create);

}  // namespace quvane::os
