// Where the patch executor's results go: lines of text for a person, or one JSON document for
// a script. The executor makes the calls; a sink decides only how their outcomes are shown.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "args/subcommand_rows.h"
#include "decoding/answer.h"
#include "error_value.h"
#include "executor/boot_set/view.h"
#include "patch_records.h"

namespace quvane::executor {

// The outcome of one call for one identifier: the records with what they point into.
template <class T>
struct Outcome {
    std::string identifier;
    Result<Answer<T>> result;
};

// A call without records.
template <>
struct Outcome<void> {
    std::string identifier;
    Result<> result;
};

using StateRecords = std::vector<PatchStateRecord>;

// What the next boot restores beside what the daemon holds: what `boot` shows.
struct BootView {
    std::vector<boot_set::Entry> entries;
    bool recorded = false;  // false: no save recorded the boot set yet
    std::string file;       // the record's
    std::optional<boot_set::LastRestore> last_restore;
};

// A word on the boot set after a run changed it, or why no record of it could be kept.
struct BootNote {
    enum class Kind {
        Saved,      // `patches` is the boot set now
        Restored,   // `patches` came back; `others`, in the boot set, did not
        Withdrawn,  // `patches`, removed or deactivated, return at the next boot until saved
        Unsaved,    // `patches`, accepted, are kept across reboots only after a save
        Unkept,     // `problem` says why no record can be kept or read
    };
    Kind kind;
    std::vector<boot_set::SavedPatch> patches{};
    std::vector<std::string> others{};
    std::string problem{};
};

class ResultSink {
  public:
    virtual ~ResultSink() = default;

    // The notice for a person that comes before a long daemon call.
    virtual void notice(args::WaitLine line) = 0;
    virtual void show(const std::vector<PatchListRecord>& patches) = 0;
    // Each identifier's outcome as soon as its call has ended, in command-line order (info,
    // target, status and state changes, check); then, after the last, the end of them.
    virtual void show(const Outcome<PatchInfo>& outcome) = 0;
    virtual void show(const Outcome<PackageInfo>& outcome) = 0;
    virtual void show(const Outcome<StateRecords>& outcome) = 0;
    virtual void show(const Outcome<void>& outcome) = 0;
    virtual void end_of_outcomes(args::Shows shows) = 0;
    // What a restore was asked for: only the accepted patches or all; and whether the daemon
    // had nothing saved, which `--if-saved` takes for success.
    virtual void restoring(bool /*accepted*/) {}
    // Another run holds the lock at `path`: this run waits up to `wait`, or (without) fails.
    virtual void lock_busy(const std::filesystem::path& /*path*/,
                           std::optional<std::chrono::duration<double>> /*wait*/) {}
    virtual void nothing_saved() {}
    virtual void boot_note(const BootNote& /*note*/) {}
    // The boot set beside the live patches (`boot`).
    virtual void show(const BootView& /*view*/) {}
};

}  // namespace quvane::executor
