// Runs the twelve patch subcommands as their rows say: superuser check, the wait line, the
// operation lock for the state-changing ones, one daemon call per identifier (or one call for
// the whole catalogue), and the outcomes handed to the sink.
#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include "boot_set/keeper.h"
#include "command_executor.h"
#include "os/anchored_directory.h"
#include "result_sink.h"
#include "rpc/remote.h"

namespace quvane::executor {

class PatchCommandExecutor final : public CommandExecutor {
  public:
    // The lock file is `lock_name` in `work_dir`, the directory the daemon's socket is reached
    // through too. Results go to `sink`, which outlives the executor. With `lock_wait`, a held
    // operation lock is waited for that long instead of failing at once. The record of what
    // the next boot restores is kept in `state_dir`; the kernel tells of this boot in
    // `proc_dir`.
    PatchCommandExecutor(std::shared_ptr<rpc::RpcRemote> remote,
                         std::shared_ptr<os::AnchoredDirectory> work_dir, std::string lock_name,
                         ResultSink& sink, std::filesystem::path state_dir,
                         std::filesystem::path proc_dir,
                         std::optional<std::chrono::duration<double>> lock_wait = std::nullopt)
        : remote_(std::move(remote)),
          work_dir_(std::move(work_dir)),
          lock_name_(std::move(lock_name)),
          sink_(sink),
          lock_wait_(lock_wait),
          state_dir_(std::move(state_dir)),
          proc_dir_(std::move(proc_dir)) {}

    // Every subcommand but Build: the successful results are shown before the
    // "Operation failed" summary of the failed calls is returned.
    Result<> invoke(const args::SubCommand& command) override;

  private:
    // What one run's handlers share.
    struct Run {
        const args::SubCommand& command;
        boot_set::Keeper& keeper;
    };
    // The outcome of one call for one identifier: the records with what they point into.
    template <class T>
    struct Outcome {
        std::string identifier;
        Result<Answer<T>> result;
    };

    // The calls of the subcommand and the showing of their outcomes, the lock already held:
    // the handler of the row's kind of result.
    Result<> call_and_show(const args::SubCommand& command);
    // One call for the whole catalogue: the list, or the boot set beside it.
    Result<> catalogue(const args::SubCommand& command, Run& run);
    // save or restore.
    Result<> all_patches(const args::SubCommand& command, Run& run);
    // One call per identifier, its result decoded as T.
    template <class T>
    Result<> each_identifier(const args::SubCommand& command, Run& run);
    // What a state change's outcome does to the next boot; a removal of a saved patch that is
    // not applied becomes done.
    void noted(Outcome<StateRecords>& outcome, Run& run, std::vector<std::string>& accepted);
    // A restore that brings the saved patches back one by one, leaving the withdrawn out.
    Result<> restore_each(const std::vector<boot_set::SavedPatch>& patches);
    // The whole catalogue, once; the run's error unchanged.
    Result<Answer<std::vector<PatchListRecord>>> list();
    // save and restore: one call for all patches, with the boot set kept around it.
    Result<> save(const args::SubCommand& command, boot_set::Keeper& keeper);
    Result<> restore(const args::SubCommand& command, boot_set::Keeper& keeper);

    std::shared_ptr<rpc::RpcRemote> remote_;
    std::shared_ptr<os::AnchoredDirectory> work_dir_;
    std::string lock_name_;
    ResultSink& sink_;
    std::optional<std::chrono::duration<double>> lock_wait_;
    std::filesystem::path state_dir_;
    std::filesystem::path proc_dir_;
};

}  // namespace quvane::executor
