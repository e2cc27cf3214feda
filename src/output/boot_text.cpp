#include "boot_text.h"

#include <ctime>

#include <fmt/format.h>

namespace quvane::output {

using executor::boot_set::BootState;
using executor::boot_set::Entry;
using executor::boot_set::restored_at_boot;
using executor::boot_set::SavedPatch;

namespace {

template <class Names>
std::string joined(const Names& names) {
    std::string text;
    for (const auto& name : names) {
        text += text.empty() ? std::string(name) : ", " + std::string(name);
    }
    return text;
}

std::string names_of(const std::vector<SavedPatch>& patches) {
    std::vector<std::string_view> names;
    names.reserve(patches.size());
    for (const SavedPatch& patch : patches) {
        names.push_back(patch.name);
    }
    return joined(names);
}

std::string utc(double seconds) {
    const auto whole = static_cast<std::time_t>(seconds);
    std::tm parts{};
    ::gmtime_r(&whole, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

}  // namespace

std::string note_text(const BootNote& note) {
    const bool one = note.patches.size() == 1;
    switch (note.kind) {
        case BootNote::Kind::Saved:
            return note.patches.empty()
                       ? "quvane: the next boot restores no patch"
                       : "quvane: the next boot restores " + names_of(note.patches);
        case BootNote::Kind::Restored: {
            std::string text =
                note.patches.empty()
                    ? "quvane: no patch of the boot set is accepted after the restore"
                    : "quvane: back as accepted: " + names_of(note.patches);
            if (!note.others.empty()) {
                text += "; in the boot set but not back: " + joined(note.others);
            }
            return text;
        }
        case BootNote::Kind::Withdrawn:
            return fmt::format("quvane: {} {} at the next boot until 'quvane save'",
                               names_of(note.patches), one ? "returns" : "return");
        case BootNote::Kind::Unsaved:
            return fmt::format("quvane: {} {} kept across reboots only after 'quvane save'",
                               names_of(note.patches), one ? "is" : "are");
        case BootNote::Kind::Unkept:
            break;
    }
    return "quvane: " + note.problem;
}

std::string_view next_boot_text(BootState state) noexcept {
    switch (state) {
        case BootState::Kept:
            return "restored";
        case BootState::Withdrawn:
            return "restored until saved (withdrawn)";
        case BootState::Missed:
            return "restored (missed at the last boot)";
        case BootState::Unsaved:
            return "lost (accepted, not saved)";
        case BootState::Outside:
            break;
    }
    return "-";
}

std::vector<std::string> summary_lines(const BootView& view) {
    std::vector<std::string_view> restored;
    std::vector<std::string_view> withdrawn;
    std::vector<std::string_view> unsaved;
    std::vector<std::string_view> missed;
    for (const Entry& entry : view.entries) {
        if (restored_at_boot(entry.state)) {
            restored.push_back(entry.name);
        }
        if (entry.state == BootState::Withdrawn) {
            withdrawn.push_back(entry.name);
        } else if (entry.state == BootState::Unsaved) {
            unsaved.push_back(entry.name);
        } else if (entry.state == BootState::Missed) {
            missed.push_back(entry.name);
        }
    }
    std::vector<std::string> lines;
    if (!view.recorded) {
        lines.emplace_back(
            "No record of what the next boot restores: nothing was saved with this quvane yet "
            "('quvane save' records it).");
    } else if (restored.empty()) {
        lines.emplace_back("The next boot restores no patch.");
    } else {
        lines.push_back(fmt::format("The next boot restores {}.", joined(restored)));
    }
    if (!withdrawn.empty() || !unsaved.empty()) {
        std::string change = "'quvane save' now would";
        if (!withdrawn.empty()) {
            change += " drop " + joined(withdrawn);
        }
        if (!unsaved.empty()) {
            change += (withdrawn.empty() ? " keep " : " and keep ") + joined(unsaved);
        }
        lines.push_back(change + ".");
    }
    if (!missed.empty()) {
        lines.push_back(fmt::format(
            "Not back since the last boot: {}; 'quvane restore --accepted' brings {} back.",
            joined(missed), missed.size() == 1 ? "it" : "them"));
    }
    if (view.last_restore) {
        lines.push_back(fmt::format("The last restore {} at {}.",
                                    view.last_restore->succeeded ? "succeeded" : "failed",
                                    utc(view.last_restore->time)));
    }
    return lines;
}

}  // namespace quvane::output
