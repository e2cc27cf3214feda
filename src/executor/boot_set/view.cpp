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

namespace {

// Accepted in an earlier boot, not saved, and not accepted now: lost by the reboot.
void mark_lost(std::vector<Entry>& entries, const Record& record, const ThisBoot& boot) {
    for (const UnsavedAccept& accept : record.unsaved) {
        if (accept.boot_id.empty() || boot.id.empty() || accept.boot_id == boot.id) {
            continue;
        }
        const auto found = std::ranges::find(entries, std::string_view(accept.name), &Entry::name);
        if (found == entries.end()) {
            entries.push_back({"", accept.name, std::nullopt, BootState::Lost});
        } else if (found->state == BootState::Outside) {
            found->state = BootState::Lost;
        }
    }
}

}  // namespace

std::vector<Entry> entries_of(const std::vector<PatchListRecord>* live, const Record* record,
                              const ThisBoot& boot) {
    static const std::vector<PatchListRecord> no_patches;
    const auto& listed_now = live != nullptr ? *live : no_patches;
    std::vector<Entry> entries;
    entries.reserve(listed_now.size() + (record != nullptr ? record->saved.size() : 0));
    static const Record no_record;
    const Record& kept = record != nullptr ? *record : no_record;
    // A missed patch after a boot whose command line skipped the restore, and no restore since.
    const bool skipped = boot.skipped_by && !this_boots_restore(kept, boot);
    std::vector<std::string_view> uuids;
    uuids.reserve(kept.saved.size());
    for (const SavedPatch& patch : kept.saved) {
        uuids.push_back(patch.uuid);
    }
    UuidIndex saved(std::move(uuids));
    std::vector<bool> listed(kept.saved.size());
    // Accepted and not saved: lost at the next reboot, or not known where no record says.
    const BootState unsaved = record != nullptr ? BootState::Unsaved : BootState::Unknown;
    for (const PatchListRecord& patch : listed_now) {
        const std::size_t at = saved.find(patch.uuid);
        BootState state = patch.status == PatchStatus::Accepted ? unsaved : BootState::Outside;
        if (at != UuidIndex::none) {
            listed[at] = true;
            state = saved_state(kept.saved[at], &patch, skipped);
        }
        entries.push_back({patch.uuid, patch.name, patch.status, state});
    }
    const PatchListRecord gone{};
    for (std::size_t i = 0; i < kept.saved.size(); ++i) {
        if (!listed[i]) {
            const SavedPatch& patch = kept.saved[i];
            entries.push_back({patch.uuid, patch.name, std::nullopt,
                               saved_state(patch, live != nullptr ? &gone : nullptr, skipped)});
        }
    }
    if (live != nullptr) {
        mark_lost(entries, kept, boot);
    }
    return entries;
}

}  // namespace quvane::executor::boot_set
