// The command-line grammar, on glibc's getopt_long: program options, then the subcommand
// word (getopt stops there), then the subcommand's own arguments.
#pragma once

#include <string>
#include <variant>

#include "arguments.h"

namespace quvane::args {

// What the parser says instead of matching: help, version or a usage error.
struct ParserExit {
    std::string text;
    bool to_standard_error = false;
    int status = 0;
};

using ParseOutcome = std::variant<Matches, ParserExit>;

// Matches the process arguments against the grammar, without side effects.
ParseOutcome match_command_line(int argc, const char* const* argv);

// Matches the process arguments against the grammar. Writes help and version to standard
// output and ends the process with 0, or with 1 and a message on standard error when they
// cannot be written (`output_error`: standard output already known to have failed); writes
// usage errors (and the full help when no subcommand was given) to standard error and ends
// the process with 1.
Matches parse_command_line(int argc, const char* const* argv, int output_error = 0);

}  // namespace quvane::args
