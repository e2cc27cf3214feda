// What the running kernel says of this boot: its id, which tells this boot's restore from an
// earlier one's, and whether its command line skips the restore (the kill switch for a patch
// that takes the host down).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quvane::executor::boot_set {

inline constexpr std::string_view default_proc_dir = "/proc";
inline constexpr std::string_view proc_dir_variable = "QUVANE_PROC_DIR";

// The values of quvane.restore= that skip the restore: those systemd reads as false. The boot
// unit has one ConditionKernelCommandLine= for each.
inline constexpr std::string_view skipping_values[] = {"0", "no", "n", "false", "f", "off"};

struct ThisBoot {
    std::string id;                         // empty where /proc cannot say
    std::optional<std::string> skipped_by;  // the word of the command line that skips it

    // Read from `proc_dir` (/proc, or another for tests); what cannot be read is left empty.
    static ThisBoot read(const std::filesystem::path& proc_dir);
};

// The word of `command_line` that skips the restore, if any.
std::optional<std::string> skipping_word(std::string_view command_line);

}  // namespace quvane::executor::boot_set
