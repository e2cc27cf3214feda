// Whether the work directory can be trusted with the operation lock. Whoever can write the
// directory can move a held lock file aside (a second run then locks a fresh file and changes
// patches beside the first) or plant one and hold it forever; so the directory must belong to
// the superuser and be writable by nobody else, as sshd asks of the files it trusts.
#pragma once

#include <filesystem>

#include "error_value.h"
#include "os/anchored_directory.h"

namespace quvane::executor {

// Succeeds for a directory owned by uid 0 and not writable by group or others, and for one
// that cannot be looked at (the lock then fails with its own cause); otherwise an error that
// names the directory, its owner and mode, and the fix.
Result<> check_trusted_directory(os::AnchoredDirectory& directory);

}  // namespace quvane::executor
