// What the next boot restores on one work directory, as quvane keeps it: the patches the last
// `save` saved as accepted, which of them a later remove or deactive withdrew on purpose, the
// patches accepted since (lost at a reboot until saved), and how the last restore went.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error_value.h"

namespace quvane::executor::boot_set {

// A patch in the boot set.
struct SavedPatch {
    std::string uuid;
    std::string name;
    bool withdrawn = false;  // removed or deactivated by quvane since the save

    bool operator==(const SavedPatch&) const = default;
};

struct LastRestore {
    double time = 0;  // seconds since the epoch
    bool succeeded = false;

    bool operator==(const LastRestore&) const = default;
};

struct Record {
    std::vector<SavedPatch> saved;
    std::vector<std::string> unsaved_accepts;  // names, in the order they were accepted
    std::optional<LastRestore> last_restore;

    // The saved patch named `name`; null when none is.
    SavedPatch* saved_named(std::string_view name);

    bool operator==(const Record&) const = default;
};

// The record's file: one compact JSON document with its format version and the work directory
// it belongs to.
std::string to_json(const Record& record, std::string_view work_dir);

// The record in `json`; an error saying what is wrong with it (damaged, another version, or
// another work directory's).
Result<Record> from_json(std::string_view json, std::string_view work_dir);

}  // namespace quvane::executor::boot_set
