// An executor of subcommands. Start-up offers every subcommand to each executor in turn.
#pragma once

#include "args/subcommand.h"
#include "error_value.h"

namespace quvane::executor {

class CommandExecutor {
  public:
    virtual ~CommandExecutor() = default;

    // Runs `command` if it is this executor's; returns success at once for any other.
    virtual Result<> invoke(const args::SubCommand& command) = 0;
};

}  // namespace quvane::executor
