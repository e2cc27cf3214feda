// What the next boot restores on one work directory, as the administrator meant it: the
// patches the last `save` saved as accepted, which of them a later remove or deactive withdrew
// (left out of every restore until the next save), the patches accepted since (lost at a
// reboot until saved), and how the last restore went. A change is written here before the
// daemon call that makes it, and settled by the call's answer. The JSON form is the schemas'
// below: a new field is its member and its line there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "decoding/schema.h"
#include "decoding/text_arena.h"
#include "error_value.h"

namespace simdjson {
struct padded_string;
}

namespace quvane::executor::boot_set {

// Its text is held by the record it belongs to.
struct SavedPatch {
    std::string_view uuid;
    std::string_view name;
    bool withdrawn = false;

    bool operator==(const SavedPatch&) const = default;
};

// A patch accepted and not saved, with the boot it was accepted in.
struct UnsavedAccept {
    std::string name;
    std::string boot_id;

    bool operator==(const UnsavedAccept&) const = default;
};

// The latest time a record holds: the end of the year 9999; a later one is damage.
inline constexpr double latest_time = 253402300799.0;

struct LastRestore {
    std::string boot_id;  // the boot it ran in; empty where that could not be read
    double time = 0;      // seconds since the epoch
    bool succeeded = false;

    bool operator==(const LastRestore&) const = default;
};

struct Record {
    std::uint32_t version = 0;  // of the file's format, as written or read
    std::string work_dir;       // the owner, as exact_path() gives it
    std::vector<SavedPatch> saved;
    std::vector<UnsavedAccept> unsaved;
    std::optional<LastRestore> last_restore;
    TextArena text{};  // what `saved` points into, where it is not text that outlives it

    // Appends a saved patch, its text kept in the record.
    void save(std::string_view uuid, std::string_view name, bool withdrawn = false) {
        saved.push_back({text.keep(uuid), text.keep(name), withdrawn});
    }
    // The saved patch that `identifier` names by uuid or name; null when none does.
    SavedPatch* saved_as(std::string_view identifier);

    bool operator==(const Record& other) const {
        return saved == other.saved && unsaved == other.unsaved &&
               last_restore == other.last_restore;
    }
};

// Why a record cannot be used.
struct Unusable {
    Error why;
    bool other_version = false;
};

// The record's file: one compact JSON document with its format version and the work directory
// it belongs to (`owner`, in the form exact_path() gives), which it sets in `record`.
std::string to_json(Record& record, std::string_view owner);
tl::expected<Record, Unusable> from_json(const simdjson::padded_string& json,
                                         std::string_view owner);

// `path` as JSON text keeps it exactly: bytes that are not UTF-8, and the reverse solidus, as
// \xNN.
std::string exact_path(std::string_view path);

}  // namespace quvane::executor::boot_set

namespace quvane {

template <>
struct RecordSchema<executor::boot_set::SavedPatch> {
    using R = executor::boot_set::SavedPatch;
    static constexpr std::string_view name = "SavedPatch";
    static constexpr bool object_only = true;
    static constexpr auto fields = std::tuple{field("uuid", &R::uuid), field("name", &R::name),
                                              field("withdrawn", &R::withdrawn)};
};

template <>
struct RecordSchema<executor::boot_set::UnsavedAccept> {
    using R = executor::boot_set::UnsavedAccept;
    static constexpr std::string_view name = "UnsavedAccept";
    static constexpr bool object_only = true;
    static constexpr auto fields =
        std::tuple{field("name", &R::name), field("boot_id", &R::boot_id)};
};

template <>
struct RecordSchema<executor::boot_set::LastRestore> {
    using R = executor::boot_set::LastRestore;
    static constexpr std::string_view name = "LastRestore";
    static constexpr bool object_only = true;
    static constexpr auto fields = std::tuple{
        field("boot_id", &R::boot_id), field("time", &R::time), field("succeeded", &R::succeeded)};
};

template <>
struct RecordSchema<executor::boot_set::Record> {
    using R = executor::boot_set::Record;
    static constexpr std::string_view name = "Record";
    static constexpr bool object_only = true;
    static constexpr auto fields = std::tuple{
        field("version", &R::version), field("work_dir", &R::work_dir), field("saved", &R::saved),
        field("unsaved_accepts", &R::unsaved), field("last_restore", &R::last_restore)};
};

}  // namespace quvane
