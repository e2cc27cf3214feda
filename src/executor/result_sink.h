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
};

}  // namespace quvane::executor
