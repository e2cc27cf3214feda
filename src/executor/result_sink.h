// Where the patch executor's results go: lines of text for a person, or one JSON document for
// a script. The executor makes the calls; a sink decides only how their outcomes are shown.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "args/subcommand_rows.h"
#include "error_value.h"
#include "executor/boot_set/keeper.h"
#include "patch_records.h"

namespace quvane::executor {

using StateRecords = std::vector<PatchStateRecord>;
// Lists of names under their keys: the boot set a save left, what it dropped, what a restore
// brought back.
using NamedLists = std::vector<std::pair<std::string_view, std::string>>;

using boot_set::BootNote;
using boot_set::BootView;

// What a call gave, for a sink to show: its records, by kind (Empty for a check).
using Records = std::variant<const std::vector<PatchListRecord>*, const BootView*, const PatchInfo*,
                             const PackageInfo*, const StateRecords*, const Empty*>;

// Calls `list` with the list or `boot` with the boot set, whichever `records` hold.
template <class List, class Boot>
void on_catalogue(Records records, List list, Boot boot) {
    if (const auto* patches = std::get_if<const std::vector<PatchListRecord>*>(&records)) {
        list(**patches);
    } else if (const auto* view = std::get_if<const BootView*>(&records)) {
        boot(**view);
    }
}

// The events of a run, each sink showing what it shows: two that every sink has, the rest
// passed over unless a sink has a use for them.
class ResultSink {
  public:
    virtual ~ResultSink() = default;

    // The records of a call over the whole catalogue: the list, or the boot set beside it.
    virtual void show(Records records) = 0;
    // One identifier's outcome as soon as its call has ended, in command-line order: its
    // records, or the call's error.
    virtual void outcome(std::string_view identifier, const Result<Records>& result) = 0;
    // After the last identifier's outcome.
    virtual void end_of_outcomes(args::Shows /*shows*/) {}
    // The notice for a person that comes before a long daemon call.
    virtual void notice(args::WaitLine /*line*/) {}
    // What a restore was asked for: only the accepted patches or all; and whether the daemon
    // had nothing saved, which `--if-saved` takes for success.
    virtual void restoring(bool /*accepted*/) {}
    virtual void nothing_saved() {}
    // Another run holds the lock at `path`: this run waits up to `wait`, or (without) fails.
    virtual void lock_busy(const std::filesystem::path& /*path*/,
                           std::optional<std::chrono::duration<double>> /*wait*/) {}
    virtual void boot_note(const BootNote& /*note*/) {}
    // A run refused before it reached the daemon, or a save or restore the boot set refused.
    virtual void refused(const Error& /*error*/) {}
    // A save or a restore ended with `result`; `details` are " key=value" pairs of our own.
    virtual void all_patches(const Result<>& /*result*/, std::string_view /*details*/,
                             const NamedLists& /*names*/) {}
};

}  // namespace quvane::executor
