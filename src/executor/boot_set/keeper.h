// The executor's side of the boot set: the record read and written around the calls that
// change what the next boot restores, the guard of `save`, and what the sink is told of it.
// Where no record can be kept (a read-only host, a state directory that is not root's alone)
// the run goes on as it would without one, and the sink names the missing record.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "error_value.h"
#include "executor/boot_set/record.h"
#include "executor/boot_set/store.h"
#include "executor/result_sink.h"

namespace quvane::executor::boot_set {

class Keeper {
  public:
    // Reads nothing yet.
    Keeper(std::filesystem::path state_dir, std::filesystem::path work_dir, ResultSink& sink)
        : state_dir_(std::move(state_dir)), work_dir_(std::move(work_dir)), sink_(sink) {}

    // Whether a record can be kept: the state directory opened for writing (the record in it
    // may still be unreadable). When not, the sink was told why, and `save` is the daemon's
    // call alone.
    bool can_keep();

    // Before a save, with the patches the daemon holds now: a refusal when the save would drop
    // saved patches that quvane did not withdraw (a boot whose restore did not run), or when
    // the record cannot be read; `force` saves all the same.
    Result<> guard_save(const std::vector<PatchListRecord>& live, bool force);
    // The daemon saved: the boot set is what it holds as accepted now.
    void saved(const std::vector<PatchListRecord>& live);
    // A restore ended with `result`; `live`, when it could be listed, is what the daemon holds
    // after it.
    void restored(const Result<>& result, const std::vector<PatchListRecord>* live);
    // Patches (by name) that quvane removed or deactivated, or accepted.
    void withdrew(const std::vector<std::string>& names);
    void accepted(const std::vector<std::string>& names);

    // The boot set beside `live`, for `boot` and the metrics; an error when the record cannot
    // be read.
    Result<BootView> view(const std::vector<PatchListRecord>& live);

    // The names of the boot set, as the audit record of a save gives them.
    std::string boot_set_names() const;

  private:
    // The record, read at the first need; false when there is none to change (the sink told).
    bool load(bool to_write);
    void write();
    void unkept(const Error& why);

    std::filesystem::path state_dir_;
    std::filesystem::path work_dir_;
    ResultSink& sink_;
    std::optional<Store> store_;
    Record record_;
    std::optional<Error> unreadable_;
    bool loaded_ = false;
    bool exists_ = false;
};

}  // namespace quvane::executor::boot_set
