// The boot set beside what is live: for each patch, whether the next boot restores it and why
// it differs from what the daemon holds now. What `boot` shows, what `save` guards and what the
// metrics say all come from here.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "executor/boot_set/record.h"
#include "patch_records.h"

namespace quvane::executor::boot_set {

enum class BootState {
    Kept,       // saved as accepted, and accepted now
    Withdrawn,  // saved as accepted, removed or deactivated on purpose since: back at boot
    Missed,     // saved as accepted, neither accepted now nor withdrawn: a restore that did not run
    Unsaved,    // accepted now and not saved: lost at the next reboot
    Outside,    // neither saved nor accepted
};

// "kept", "withdrawn", "missed", "unsaved" or "none": the word `--json` and the metrics use.
std::string_view state_word(BootState state) noexcept;
// Whether the next boot restores a patch in `state`.
constexpr bool restored_at_boot(BootState state) noexcept {
    return state == BootState::Kept || state == BootState::Withdrawn || state == BootState::Missed;
}

struct Entry {
    std::string_view uuid;
    std::string_view name;
    std::optional<PatchStatus> status;  // none: saved, and the daemon no longer lists it
    BootState state;
};

// Every listed patch in the daemon's order, then the saved ones it does not list.
std::vector<Entry> entries_of(const std::vector<PatchListRecord>& live, const Record& record);

// The saved patches that the daemon does not hold as accepted and that quvane did not withdraw:
// what a save now would drop although nobody meant it to.
std::vector<const SavedPatch*> missed(const Record& record,
                                      const std::vector<PatchListRecord>& live);

}  // namespace quvane::executor::boot_set
