// The spine of every run: start-up in its fixed order, dispatch, report, exit status.
#pragma once

#include <memory>
#include <vector>

#include "args/subcommand.h"
#include "error_value.h"
#include "executor/command_executor.h"

namespace quvane {

using Executors = std::vector<std::unique_ptr<executor::CommandExecutor>>;

// Offers `command` to every executor in order and stops at the first error.
Result<> dispatch(const Executors& executors, const args::SubCommand& command);

// Runs the process and returns its exit status.
int run(int argc, const char* const* argv);

}  // namespace quvane
