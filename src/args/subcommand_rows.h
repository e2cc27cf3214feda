// Every subcommand as one row: what the grammar, the help, the conversion, the debug form, the
// executor (the daemon method it calls and how its results are shown) and the generated shell
// completions know of it. Adding a subcommand over an existing kind of result is adding a row.
// Plain data, no parser: the completion generator in tools/ reads it without linking the client.
#pragma once

#include <array>
#include <string_view>

namespace quvane::args {

// What a subcommand takes after its word.
enum class Takes { Nothing, Identifiers, ToolArguments, AcceptedFlag, ForceFlag };

enum class Locking { None, Exclusive };

// The notice shown before a long daemon call, and whether it comes before or after the lock.
enum class WaitLine { None, BeforeLock, AfterLock };

// How the results of the subcommand's calls are shown.
enum class Shows {
    ToolOutput,    // the build tool's own, on the terminal
    Nothing,       // success is silence
    PatchTable,    // the list of patches
    InfoBlocks,    // per identifier, its metadata
    TargetBlocks,  // per identifier, its target package
    StateLines,    // per identifier, "{name}: {status}" per record
    CheckVerdict,  // "Checks are passed!" when every check passed
    BootSet,       // each patch beside what the next boot restores
};

// Whether each run leaves a record in the system log: the subcommands that change patch state.
enum class Audit { None, Recorded };

// What the subcommand does to the record of what the next boot restores.
enum class Boot {
    None,
    Withdraws,  // a saved patch it changes is left out of the next boot (marked before the call)
    Accepts,    // a patch it accepts is kept across reboots only after a save
    Records,    // the boot set becomes what the daemon holds as accepted (guarded)
    Restores,   // what the daemon restored, and how the restore went
};

struct SubcommandRow {
    std::string_view word;  // on the command line
    std::string_view name;  // of the variant, in the debug form
    std::string_view help;
    Takes takes;
    // The daemon method called once per identifier, or once (empty: no daemon call, build runs
    // the build tool). Its result is decoded as `shows` asks.
    std::string_view method;
    Locking locking;
    WaitLine wait;
    Shows shows;
    Audit audit;
    // The patch statuses from which the subcommand can act, offered by the completions;
    // empty: every patch.
    std::string_view acts_on = {};
    Boot boot = Boot::None;
};

// In the order of the grammar and the help.
// clang-format off
inline constexpr std::array subcommand_rows{
    SubcommandRow{"build", "Build", "Build a patch", Takes::ToolArguments, "", Locking::None, WaitLine::None, Shows::ToolOutput, Audit::None},
    SubcommandRow{"info", "Info", "Show patch info", Takes::Identifiers, "get_patch_info", Locking::None, WaitLine::None, Shows::InfoBlocks, Audit::None},
    SubcommandRow{"target", "Target", "Show patch target", Takes::Identifiers, "get_patch_target", Locking::None, WaitLine::None, Shows::TargetBlocks, Audit::None},
    SubcommandRow{"status", "Status", "Show patch status", Takes::Identifiers, "get_patch_status", Locking::None, WaitLine::None, Shows::StateLines, Audit::None},
    SubcommandRow{"list", "List", "List all patches", Takes::Nothing, "get_patch_list", Locking::None, WaitLine::None, Shows::PatchTable, Audit::None},
    SubcommandRow{"check", "Check", "Check a patch", Takes::Identifiers, "check_patch", Locking::Exclusive, WaitLine::None, Shows::CheckVerdict, Audit::None, "NOT-APPLIED"},
    SubcommandRow{"apply", "Apply", "Apply a patch", Takes::Identifiers, "apply_patch", Locking::Exclusive, WaitLine::None, Shows::StateLines, Audit::Recorded, "NOT-APPLIED"},
    SubcommandRow{"remove", "Remove", "Remove a patch", Takes::Identifiers, "remove_patch", Locking::Exclusive, WaitLine::BeforeLock, Shows::StateLines, Audit::Recorded, "DEACTIVED ACTIVED ACCEPTED", Boot::Withdraws},
    SubcommandRow{"active", "Active", "Active a patch", Takes::Identifiers, "active_patch", Locking::Exclusive, WaitLine::None, Shows::StateLines, Audit::Recorded, "DEACTIVED"},
    SubcommandRow{"deactive", "Deactive", "Deactive a patch", Takes::Identifiers, "deactive_patch", Locking::Exclusive, WaitLine::None, Shows::StateLines, Audit::Recorded, "ACTIVED ACCEPTED", Boot::Withdraws},
    SubcommandRow{"accept", "Accept", "Accept a patch", Takes::Identifiers, "accept_patch", Locking::Exclusive, WaitLine::None, Shows::StateLines, Audit::Recorded, "ACTIVED", Boot::Accepts},
    SubcommandRow{"save", "Save", "Save all patch status", Takes::ForceFlag, "save_patch_status", Locking::Exclusive, WaitLine::None, Shows::Nothing, Audit::Recorded, {}, Boot::Records},
    SubcommandRow{"restore", "Restore", "Restore all patch status", Takes::AcceptedFlag, "restore_patch_status", Locking::Exclusive, WaitLine::AfterLock, Shows::Nothing, Audit::Recorded, {}, Boot::Restores},
    SubcommandRow{"boot", "Boot", "Show what the next boot restores", Takes::Nothing, "get_patch_list", Locking::None, WaitLine::None, Shows::BootSet, Audit::None},
};
// clang-format on

// The row whose word is `word`; null when none is.
constexpr const SubcommandRow* subcommand_named(std::string_view word) noexcept {
    for (const SubcommandRow& row : subcommand_rows) {
        if (row.word == word) {
            return &row;
        }
    }
    return nullptr;
}

// A flag after the subcommand word, taken by the rows that take `takes`; the grammar, the help,
// the debug form and the completions read these.
struct SubcommandFlag {
    Takes takes;
    std::string_view word;  // "--if-saved"; its field in the debug form is "if_saved"
    std::string_view help;
    bool always_logged = false;  // in the debug form when not given too
};
// clang-format off
inline constexpr std::array subcommand_flags{
    SubcommandFlag{Takes::AcceptedFlag, "--accepted", "Accepted patch only", true},
    SubcommandFlag{Takes::AcceptedFlag, "--if-saved", "Succeed when the daemon has no saved status to restore"},
    SubcommandFlag{Takes::ForceFlag, "--force", "Save even when the daemon lacks patches the next boot restores"},
};
// clang-format on
inline constexpr const SubcommandFlag& accepted_flag = subcommand_flags[0];
inline constexpr const SubcommandFlag& if_saved_flag = subcommand_flags[1];
inline constexpr const SubcommandFlag& force_flag = subcommand_flags[2];
// The positional argument of the subcommands that take Takes::Identifiers.
inline constexpr std::string_view identifier_value_name = "IDENTIFIER";
inline constexpr std::string_view identifier_help = "Patch identifier";

}  // namespace quvane::args
