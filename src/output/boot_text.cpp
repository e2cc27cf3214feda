#include "boot_text.h"

#include <ctime>

#include <fmt/format.h>

namespace quvane::output {

using executor::boot_set::Entry;
using executor::boot_set::restored_at_boot;

namespace {

template <class Names>
std::string joined(const Names& names) {
    std::string text;
    for (const auto& name : names) {
        if (!text.empty()) {
            text += ", ";
        }
        if constexpr (requires { name.name; }) {
            text += name.name;
        } else {
            text += name;
        }
    }
    return text;
}

template <class Names>
std::string_view it_or_them(const Names& names) {
    return names.size() == 1 ? "it" : "them";
}

// The first line: what the next boot restores, or why that is not known.
std::string record_line(const BootView& view, const std::vector<std::string_view>& restored) {
    switch (view.record) {
        case RecordState::Recorded:
            return restored.empty() ? "The next boot restores no patch."
                                    : fmt::format("The next boot restores {}.", joined(restored));
        case RecordState::None:
            return "No record of what the next boot restores: nothing was saved with this "
                   "quvane yet ('quvane save' records it).";
        case RecordState::NoPlace:
            return view.problem + "; a save is not recorded.";
        case RecordState::Untrusted:
            return view.problem +
                   ". 'quvane save' is refused until it is fixed ('quvane save "
                   "--force' saves, keeping no record).";
        case RecordState::Unreadable:
        case RecordState::OtherVersion:
            break;
    }
    return view.problem +
           ". 'quvane save --force' writes a new record of what the daemon holds "
           "as accepted.";
}

}  // namespace

std::string_view state_word(BootState state) noexcept {
    static constexpr std::string_view words[] = {"kept",    "withdrawn", "missed",  "skipped",
                                                 "unsaved", "lost",      "unknown", "none"};
    return words[static_cast<std::size_t>(state)];
}

std::string_view record_word(RecordState state) noexcept {
    static constexpr std::string_view words[] = {"recorded",  "none",       "no-place",
                                                 "untrusted", "unreadable", "other-version"};
    return words[static_cast<std::size_t>(state)];
}

std::string utc(double seconds) {
    // A time no record of ours holds is not handed to the C library.
    if (!(seconds >= 0 && seconds <= executor::boot_set::latest_time)) {
        return "an unknown time";
    }
    const auto whole = static_cast<std::time_t>(seconds);
    std::tm parts{};
    ::gmtime_r(&whole, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

std::string note_text(const BootNote& note) {
    const bool one = note.names.size() == 1;
    switch (note.kind) {
        case BootNote::Kind::Saved:
            return (note.saved.empty() ? std::string("quvane: the next boot restores no patch")
                                       : "quvane: the next boot restores " + joined(note.saved)) +
                   (note.forced && !note.others.empty() ? "; --force dropped " + joined(note.others)
                                                        : "");
        case BootNote::Kind::Restored: {
            std::string text =
                note.names.empty()
                    ? "quvane: no patch of the boot set is accepted after the restore"
                    : "quvane: back as accepted: " + joined(note.names);
            if (!note.others.empty()) {
                text += "; in the boot set but not back: " + joined(note.others);
            }
            return text;
        }
        case BootNote::Kind::Withdrawn:
            return fmt::format(
                "quvane: {} {} left out of the next boot ('quvane save' makes the "
                "daemon's saved status agree)",
                joined(note.names), one ? "is" : "are");
        case BootNote::Kind::Unsaved:
            return fmt::format("quvane: {} {} kept across reboots only after 'quvane save'",
                               joined(note.names), one ? "is" : "are");
        case BootNote::Kind::Unkept:
            break;
    }
    return "quvane: " + note.problem;
}

std::string_view next_boot_text(BootState state) noexcept {
    static constexpr std::string_view texts[] = {"restored",
                                                 "left out (withdrawn, not saved)",
                                                 "restored (missed at this boot)",
                                                 "restored (skipped at this boot)",
                                                 "lost (accepted, not saved)",
                                                 "lost at a reboot before it was saved",
                                                 "unknown (no record)",
                                                 "-"};
    return texts[static_cast<std::size_t>(state)];
}

std::vector<std::string> summary_lines(const BootView& view) {
    std::vector<std::string_view> by_state[8];
    std::vector<std::string_view> restored;
    for (const Entry& entry : view.entries) {
        by_state[static_cast<std::size_t>(entry.state)].push_back(entry.name);
        if (restored_at_boot(entry.state)) {
            restored.push_back(entry.name);
        }
    }
    const auto& withdrawn = by_state[static_cast<std::size_t>(BootState::Withdrawn)];
    const auto& unsaved = by_state[static_cast<std::size_t>(BootState::Unsaved)];
    const auto& missed = by_state[static_cast<std::size_t>(BootState::Missed)];
    const auto& skipped = by_state[static_cast<std::size_t>(BootState::Skipped)];
    const auto& lost = by_state[static_cast<std::size_t>(BootState::Lost)];
    std::vector<std::string> lines{record_line(view, restored)};
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
            joined(missed), it_or_them(missed)));
    }
    if (!skipped.empty()) {
        lines.push_back(fmt::format(
            "Not back: the restore was skipped at this boot ({} on the kernel command line): {}. "
            "To keep one out of the next boot, 'quvane remove' it; 'quvane restore --accepted' "
            "then brings back the rest without it.",
            *view.boot.skipped_by, joined(skipped)));
    }
    if (!lost.empty()) {
        lines.push_back(fmt::format("Lost at a reboot before it was saved: {}.", joined(lost)));
    }
    if (view.restore) {
        lines.push_back(fmt::format("The restore at this boot {} at {}.",
                                    view.restore->succeeded ? "succeeded" : "failed",
                                    utc(view.restore->time)));
    } else if (view.boot.skipped_by && skipped.empty()) {
        lines.push_back(
            fmt::format("The restore was skipped at this boot ({} on the kernel "
                        "command line).",
                        *view.boot.skipped_by));
    } else if (view.record == RecordState::Recorded && !view.boot.id.empty() &&
               !view.boot.skipped_by) {
        lines.emplace_back("No restore ran at this boot.");
    }
    return lines;
}

}  // namespace quvane::output
