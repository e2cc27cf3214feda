// Runs `build`: the external build tool on the user's terminal, whose exit code ends the run.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command_executor.h"

namespace quvane::executor {

inline constexpr std::string_view BUILD_TOOL_PATH = "/usr/libexec/quvane/quvane-build";
inline constexpr std::string_view BUILD_TOOL_NAME = "quvane-build";

// Starts `program` (an absolute path: no search path, no shell) with `args` after it,
// inheriting the standard streams, environment and directory, and waits for it. Returns its
// exit code; a start failure or an end without exit code is the error.
Result<int> run_tool(const std::string& program, const std::vector<std::string>& args);

class BuildCommandExecutor final : public CommandExecutor {
  public:
    // For Build: runs the build tool, whose exit code the run then ends with (exit_status()).
    // Any other subcommand: success at once.
    Result<> invoke(const args::SubCommand& command) override;
    // The build tool's exit code, once it has run.
    std::optional<int> exit_status() const noexcept { return exit_status_; }

  private:
    std::optional<int> exit_status_;
};

}  // namespace quvane::executor
