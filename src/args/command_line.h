// The command-line grammar, on CLI11.
#pragma once

#include "arguments.h"

namespace quvane::args {

// Matches the process arguments against the grammar. Writes help and version to standard
// output and ends the process with 0; writes usage errors (and the full help when no
// subcommand was given) to standard error and ends the process with 1.
Matches parse_command_line(int argc, const char* const* argv);

}  // namespace quvane::args
