#include "executor/boot_set/view.h"

#include <unordered_map>
#include <unordered_set>

namespace quvane::executor::boot_set {
namespace {

BootState saved_state(const SavedPatch& saved, std::optional<PatchStatus> status) {
    if (status == PatchStatus::Accepted) {
        return BootState::Kept;
    }
    return saved.withdrawn ? BootState::Withdrawn : BootState::Missed;
}

}  // namespace

std::string_view state_word(BootState state) noexcept {
    switch (state) {
        case BootState::Kept:
            return "kept";
        case BootState::Withdrawn:
            return "withdrawn";
        case BootState::Missed:
            return "missed";
        case BootState::Unsaved:
            return "unsaved";
        case BootState::Outside:
            break;
    }
    return "none";
}

std::vector<Entry> entries_of(const std::vector<PatchListRecord>& live, const Record& record) {
    std::unordered_map<std::string_view, const SavedPatch*> saved;
    for (const SavedPatch& patch : record.saved) {
        saved.emplace(patch.uuid, &patch);
    }
    std::vector<Entry> entries;
    entries.reserve(live.size());
    std::unordered_set<std::string_view> listed;
    for (const PatchListRecord& patch : live) {
        const auto found = saved.find(patch.uuid);
        BootState state =
            patch.status == PatchStatus::Accepted ? BootState::Unsaved : BootState::Outside;
        if (found != saved.end()) {
            state = saved_state(*found->second, patch.status);
            listed.insert(patch.uuid);
        }
        entries.push_back({patch.uuid, patch.name, patch.status, state});
    }
    for (const SavedPatch& patch : record.saved) {
        if (!listed.contains(patch.uuid)) {
            entries.push_back({patch.uuid, patch.name, std::nullopt, saved_state(patch, {})});
        }
    }
    return entries;
}

std::vector<const SavedPatch*> missed(const Record& record,
                                      const std::vector<PatchListRecord>& live) {
    std::unordered_set<std::string_view> accepted;
    for (const PatchListRecord& patch : live) {
        if (patch.status == PatchStatus::Accepted) {
            accepted.insert(patch.uuid);
        }
    }
    std::vector<const SavedPatch*> lost;
    for (const SavedPatch& patch : record.saved) {
        if (!patch.withdrawn && !accepted.contains(patch.uuid)) {
            lost.push_back(&patch);
        }
    }
    return lost;
}

}  // namespace quvane::executor::boot_set
