// The command-line grammar, on glibc's getopt_long: program options, then the subcommand
// word (getopt stops there), then the subcommand's own arguments.
#pragma once

#include <string>
#include <variant>

#include "arguments.h"

namespace quvane::args {

// The parsed command line, its work directory as typed; or what the parser says instead.
using ParseOutcome = std::variant<Arguments, ParserExit>;

// Matches the process arguments against the grammar, without side effects.
ParseOutcome match_command_line(int argc, const char* const* argv);

}  // namespace quvane::args
