// The boot set beside what is live: for each patch, whether the next boot restores it and why
// it differs from what the daemon holds now. What `boot` shows, what `save` guards and what the
// metrics say all come from here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "executor/boot_set/record.h"
#include "executor/boot_set/this_boot.h"
#include "patch_records.h"

namespace quvane::executor::boot_set {

enum class BootState {
    Kept,       // saved as accepted, and accepted now (or the daemon could not say)
    Withdrawn,  // saved, removed or deactivated since: left out of every restore until saved
    Missed,     // saved, neither accepted now nor withdrawn: this boot's restore missed it
    Skipped,    // the same, after a boot whose command line skipped the restore
    Unsaved,    // accepted now and not saved: lost at the next reboot
    Lost,       // accepted at an earlier boot and lost by a reboot before it was saved
    Unknown,    // accepted now, and no record says whether it was saved
    Outside,    // neither saved nor accepted
};

// Whether the next boot restores a patch in `state`.
constexpr bool restored_at_boot(BootState state) noexcept {
    return state == BootState::Kept || state == BootState::Missed || state == BootState::Skipped;
}

// What is known of the record.
enum class RecordState {
    Recorded,      // read, and what it says holds
    None,          // no save recorded the boot set yet
    NoPlace,       // no record can be kept here (a read-only host)
    Untrusted,     // the state directory could be written by others than root
    Unreadable,    // damaged, or not readable
    OtherVersion,  // written by another version of quvane
};

struct Entry {
    std::string_view uuid;
    std::string_view name;
    std::optional<PatchStatus> status;  // none: the daemon does not list it, or did not answer
    BootState state;
};

struct BootView {
    std::vector<Entry> entries;
    RecordState record = RecordState::None;
    std::string file;     // the record's, where there is one
    std::string problem;  // why the record cannot be had or used
    ThisBoot boot;
    std::optional<LastRestore> restore;  // this boot's, when one ran
};

// The positions of uuids in a list, found without a node per entry: the next position first
// (the record keeps the daemon's order, so lists usually meet in step), else a table sorted by
// hash, built at the first miss.
class UuidIndex {
  public:
    static constexpr std::size_t none = static_cast<std::size_t>(-1);

    explicit UuidIndex(std::vector<std::string_view> uuids) : uuids_(std::move(uuids)) {}
    // The position of `uuid`, or none.
    std::size_t find(std::string_view uuid);

  private:
    std::vector<std::string_view> uuids_;
    std::vector<std::pair<std::size_t, std::size_t>> table_;  // hash, position
    std::size_t next_ = 0;
};

// The uuids of the patches `live` holds as accepted.
UuidIndex accepted_in(const std::vector<PatchListRecord>& live);

// Every listed patch in the daemon's order (none when `live` is null: the daemon did not
// answer), then the saved and lost ones it does not list. `record` is null where none can be
// used.
std::vector<Entry> entries_of(const std::vector<PatchListRecord>* live, const Record* record,
                              const ThisBoot& boot);

// This boot's restore in `record`, when it holds one.
std::optional<LastRestore> this_boots_restore(const Record& record, const ThisBoot& boot);

}  // namespace quvane::executor::boot_set
