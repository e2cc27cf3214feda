// Runs the twelve patch subcommands as their rows say: superuser check, the wait line, the
// operation lock for the state-changing ones, one daemon call per identifier (or one call for
// the whole catalogue), and the outcomes handed to the sink.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

#include "command_executor.h"
#include "result_sink.h"
#include "rpc/proxy.h"

namespace quvane::executor {

class PatchCommandExecutor final : public CommandExecutor {
  public:
    // Results go to `sink`, which outlives the executor. With `lock_wait`, a held operation
    // lock is waited for that long instead of failing at once.
    PatchCommandExecutor(rpc::PatchProxy proxy, std::filesystem::path lock_path, ResultSink& sink,
                         std::optional<std::chrono::duration<double>> lock_wait = std::nullopt)
        : proxy_(std::move(proxy)),
          lock_path_(std::move(lock_path)),
          sink_(sink),
          lock_wait_(lock_wait) {}

    // Every subcommand but Build: the successful results are shown before the
    // "Operation failed" summary of the failed calls is returned.
    Result<> invoke(const args::SubCommand& command) override;
    Result<> check_superuser() const override;

  private:
    // The calls of the subcommand and the showing of their outcomes, the lock already held.
    Result<> call_and_show(const args::SubCommand& command);

    rpc::PatchProxy proxy_;
    std::filesystem::path lock_path_;
    ResultSink& sink_;
    std::optional<std::chrono::duration<double>> lock_wait_;
};

}  // namespace quvane::executor
