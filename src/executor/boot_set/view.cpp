#include "executor/boot_set/view.h"

#include <unordered_map>

namespace quvane::executor::boot_set {
namespace {

BootState saved_state(const SavedPatch& saved, const PatchListRecord* live, bool skipped) {
    if (saved.withdrawn) {
        return BootState::Withdrawn;
    }
    if (live == nullptr || live->status == PatchStatus::Accepted) {
        return BootState::Kept;
    }
    return skipped ? BootState::Skipped : BootState::Missed;
}

}  // namespace

std::optional<LastRestore> this_boots_restore(const Record& record, const ThisBoot& boot) {
    if (record.last_restore && !boot.id.empty() && record.last_restore->boot_id == boot.id) {
        return record.last_restore;
    }
    return std::nullopt;
}

std::vector<Entry> entries_of(const std::vector<PatchListRecord>* live, const Record* record,
                              const ThisBoot& boot) {
    static const std::vector<PatchListRecord> no_patches;
    std::vector<Entry> entries;
    if (record == nullptr) {
        for (const PatchListRecord& patch : live != nullptr ? *live : no_patches) {
            entries.push_back({patch.uuid, patch.name, patch.status,
                               patch.status == PatchStatus::Accepted ? BootState::Unknown
                                                                     : BootState::Outside});
        }
        return entries;
    }
    // A missed patch after a boot whose command line skipped the restore, and no restore since.
    const bool skipped = boot.skipped_by && !this_boots_restore(*record, boot);
    std::unordered_map<std::string_view, const SavedPatch*> saved;
    saved.reserve(record->saved.size());
    for (const SavedPatch& patch : record->saved) {
        saved.emplace(patch.uuid, &patch);
    }
    // Room for every entry at once: the lost ones are found through pointers into it.
    entries.reserve((live != nullptr ? live->size() : 0) + record->saved.size() +
                    record->unsaved.size());
    std::unordered_map<std::string_view, const PatchListRecord*> listed;
    if (live != nullptr) {
        listed.reserve(live->size());
        for (const PatchListRecord& patch : *live) {
            listed.emplace(patch.uuid, &patch);
            const auto found = saved.find(patch.uuid);
            BootState state = found != saved.end() ? saved_state(*found->second, &patch, skipped)
                              : patch.status == PatchStatus::Accepted ? BootState::Unsaved
                                                                      : BootState::Outside;
            entries.push_back({patch.uuid, patch.name, patch.status, state});
        }
    }
    for (const SavedPatch& patch : record->saved) {
        if (const auto found = listed.find(patch.uuid); found == listed.end()) {
            const PatchListRecord gone{};
            entries.push_back({patch.uuid, patch.name, std::nullopt,
                               saved_state(patch, live != nullptr ? &gone : nullptr, skipped)});
        }
    }
    // Accepted in an earlier boot, not saved, and not accepted now: lost by the reboot.
    std::unordered_map<std::string_view, Entry*> by_name;
    by_name.reserve(entries.size());
    for (Entry& entry : entries) {
        by_name.emplace(entry.name, &entry);
    }
    for (const UnsavedAccept& accept : record->unsaved) {
        if (accept.boot_id.empty() || boot.id.empty() || accept.boot_id == boot.id) {
            continue;
        }
        const auto found = by_name.find(accept.name);
        if (found == by_name.end() && live != nullptr) {
            entries.push_back({"", accept.name, std::nullopt, BootState::Lost});
        } else if (found != by_name.end() && found->second->state == BootState::Outside) {
            found->second->state = BootState::Lost;
        }
    }
    return entries;
}

}  // namespace quvane::executor::boot_set
