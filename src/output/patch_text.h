// The text forms in which patch records are shown to the administrator.
#pragma once

#include <string>
#include <string_view>

#include "patch_records.h"
#include "terminal_text.h"

namespace quvane {

// Labelled lines, each ending in a line feed. The daemon's texts are shown as `how` says.
std::string to_text(const PatchInfo& info, Shown how = Shown::Verbatim);
// Seven labelled lines, the last one without a line feed.
std::string to_text(const PackageInfo& package, Shown how = Shown::Verbatim);

}  // namespace quvane
