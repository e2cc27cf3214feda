#include "executor/boot_set/view.h"

#include <algorithm>
#include <functional>

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

std::size_t UuidIndex::find(std::string_view uuid) {
    if (next_ < uuids_.size() && uuids_[next_] == uuid) {
        return next_++;
    }
    if (table_.empty() && !uuids_.empty()) {
        table_.reserve(uuids_.size());
        for (std::size_t i = 0; i < uuids_.size(); ++i) {
            table_.emplace_back(std::hash<std::string_view>{}(uuids_[i]), i);
        }
        std::ranges::sort(table_);
    }
    const std::size_t hash = std::hash<std::string_view>{}(uuid);
    for (auto at = std::ranges::lower_bound(table_, std::pair{hash, std::size_t{0}});
         at != table_.end() && at->first == hash; ++at) {
        if (uuids_[at->second] == uuid) {
            next_ = at->second + 1;
            return at->second;
        }
    }
    return none;
}

UuidIndex accepted_in(const std::vector<PatchListRecord>& live) {
    std::vector<std::string_view> uuids;
    uuids.reserve(live.size());
    for (const PatchListRecord& patch : live) {
        if (patch.status == PatchStatus::Accepted) {
            uuids.push_back(patch.uuid);
        }
    }
    return UuidIndex(std::move(uuids));
}

std::vector<Entry> entries_of(const std::vector<PatchListRecord>* live, const Record* record,
                              const ThisBoot& boot) {
    static const std::vector<PatchListRecord> no_patches;
    std::vector<Entry> entries;
    if (record == nullptr) {
        for (const PatchListRecord& patch : live != nullptr ? *live : no_patches) {
            entries.push_back(
                {patch.uuid, patch.name, patch.status,
                 patch.status == PatchStatus::Accepted ? BootState::Unknown : BootState::Outside});
        }
        return entries;
    }
    // A missed patch after a boot whose command line skipped the restore, and no restore since.
    const bool skipped = boot.skipped_by && !this_boots_restore(*record, boot);
    std::vector<std::string_view> uuids;
    uuids.reserve(record->saved.size());
    for (const SavedPatch& patch : record->saved) {
        uuids.push_back(patch.uuid);
    }
    UuidIndex saved(std::move(uuids));
    std::vector<bool> listed(record->saved.size());
    entries.reserve((live != nullptr ? live->size() : 0) + record->saved.size());
    for (const PatchListRecord& patch : live != nullptr ? *live : no_patches) {
        const std::size_t at = saved.find(patch.uuid);
        BootState state =
            patch.status == PatchStatus::Accepted ? BootState::Unsaved : BootState::Outside;
        if (at != UuidIndex::none) {
            listed[at] = true;
            state = saved_state(record->saved[at], &patch, skipped);
        }
        entries.push_back({patch.uuid, patch.name, patch.status, state});
    }
    const PatchListRecord gone{};
    for (std::size_t i = 0; i < record->saved.size(); ++i) {
        if (!listed[i]) {
            const SavedPatch& patch = record->saved[i];
            entries.push_back({patch.uuid, patch.name, std::nullopt,
                               saved_state(patch, live != nullptr ? &gone : nullptr, skipped)});
        }
    }
    // Accepted in an earlier boot, not saved, and not accepted now: lost by the reboot.
    for (const UnsavedAccept& accept : record->unsaved) {
        if (accept.boot_id.empty() || boot.id.empty() || accept.boot_id == boot.id ||
            live == nullptr) {
            continue;
        }
        const auto found = std::ranges::find(entries, std::string_view(accept.name), &Entry::name);
        if (found == entries.end()) {
            entries.push_back({"", accept.name, std::nullopt, BootState::Lost});
        } else if (found->state == BootState::Outside) {
            found->state = BootState::Lost;
        }
    }
    return entries;
}

}  // namespace quvane::executor::boot_set
