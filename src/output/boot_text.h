// The boot set's words: the notes after a change, the lines under the table of `boot`, and
// the words `--json` and the metrics use for each state. Names come from outside; the caller
// escapes them where it writes them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "events.h"

namespace quvane::output {

using executor::boot_set::BootState;
using executor::boot_set::RecordState;

// "kept", "withdrawn", "missed", "skipped", "unsaved", "lost", "unknown" or "none".
std::string_view state_word(BootState state) noexcept;
// "recorded", "none", "no-place", "untrusted", "unreadable" or "other-version".
std::string_view record_word(RecordState state) noexcept;

// The note after a run changed the boot set, or why no record can be kept (one line).
std::string note_text(const BootNote& note);

// The last column of a patch's row: what the next boot does with it.
std::string_view next_boot_text(BootState state) noexcept;

// The lines under the table: what the next boot restores, what a save now would change, what
// a missed or skipped restore left out, and how this boot's restore went.
std::vector<std::string> summary_lines(const BootView& view);

// `seconds` since the epoch as "YYYY-MM-DD HH:MM:SS UTC".
std::string utc(double seconds);

}  // namespace quvane::output
