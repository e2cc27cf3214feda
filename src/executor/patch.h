// Runs the twelve patch subcommands: superuser check, operation lock for the state-changing
// ones, one daemon call per identifier, and the results as Info lines.
#pragma once

#include <filesystem>

#include "command_executor.h"
#include "operation_lock.h"
#include "rpc/proxy.h"

namespace quvane::executor {

class PatchCommandExecutor final : public CommandExecutor {
  public:
    PatchCommandExecutor(rpc::PatchProxy proxy, std::filesystem::path lock_path)
        : proxy_(std::move(proxy)), lock_path_(std::move(lock_path)) {}

    // Every subcommand but Build: the successful results are written before the
    // "Operation failed" summary of the failed calls is returned.
    Result<> invoke(const args::SubCommand& command) override;
    Result<> check_superuser() const override;

  private:
    Result<> run(const args::Info& command);
    Result<> run(const args::Target& command);
    Result<> run(const args::Status& command);
    Result<> run(const args::List& command);
    Result<> run(const args::Check& command);
    Result<> run(const args::Apply& command);
    Result<> run(const args::Remove& command);
    Result<> run(const args::Active& command);
    Result<> run(const args::Deactive& command);
    Result<> run(const args::Accept& command);
    Result<> run(const args::Save& command);
    Result<> run(const args::Restore& command);
    Result<> run(const args::Build& command);

    rpc::PatchProxy proxy_;
    std::filesystem::path lock_path_;
};

}  // namespace quvane::executor
