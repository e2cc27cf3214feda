// What the next boot restores on one work directory, as the administrator meant it: the
// patches the last `save` saved as accepted, which of them a later remove or deactive withdrew
// (left out of every restore until the next save), the patches accepted since (lost at a
// reboot until saved), and how the last restore went. A change is written here before the
// daemon call that makes it, and settled by the call's answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error_value.h"

namespace quvane::executor::boot_set {

struct SavedPatch {
    std::string uuid;
    std::string name;
    bool withdrawn = false;

    bool operator==(const SavedPatch&) const = default;
};

// A patch accepted and not saved, with the boot it was accepted in.
struct UnsavedAccept {
    std::string name;
    std::string boot_id;

    bool operator==(const UnsavedAccept&) const = default;
};

struct LastRestore {
    std::string boot_id;  // the boot it ran in; empty where that could not be read
    double time = 0;      // seconds since the epoch
    bool succeeded = false;

    bool operator==(const LastRestore&) const = default;
};

struct Record {
    std::vector<SavedPatch> saved;
    std::vector<UnsavedAccept> unsaved;
    std::optional<LastRestore> last_restore;

    // The saved patch that `identifier` names by uuid or name; null when none does.
    SavedPatch* saved_as(std::string_view identifier);

    bool operator==(const Record&) const = default;
};

// Why a record cannot be used.
struct Unusable {
    Error why;
    bool other_version = false;
};

// The record's file: one compact JSON document with its format version and the work directory
// it belongs to (`owner`, in the form exact_path() gives).
std::string to_json(const Record& record, std::string_view owner);
tl::expected<Record, Unusable> from_json(std::string_view json, std::string_view owner);

// `path` as JSON text keeps it exactly: bytes that are not UTF-8, and the reverse solidus, as
// \xNN.
std::string exact_path(std::string_view path);

}  // namespace quvane::executor::boot_set
