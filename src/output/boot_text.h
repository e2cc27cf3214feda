// The boot set's words for a person: the notes after a change and the lines under the table
// of `boot`. Names come from outside; the caller escapes them where it writes them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "events.h"

namespace quvane::output {

// The note after a run changed the boot set, or why no record can be kept (one line).
std::string note_text(const BootNote& note);

// The last column of a patch's row: what the next boot does with it.
std::string_view next_boot_text(executor::boot_set::BootState state) noexcept;

// The lines under the table: what the next boot restores, what a save now would change, what
// a missed restore left out, and how the last restore went.
std::vector<std::string> summary_lines(const BootView& view);

}  // namespace quvane::output
