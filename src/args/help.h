// The texts the command line shows of itself, generated from the rows: the help of the program
// and of each subcommand, and the usage line that ends a usage error.
#pragma once

#include <string>
#include <string_view>

#include "subcommand_rows.h"

namespace quvane::args {

// The program's help; `invoked` is the name the program was run under.
std::string program_help(std::string_view invoked);

// A subcommand's help.
std::string subcommand_help(std::string_view invoked, const SubcommandRow& row);

// "Usage: ..." of the program, or of the subcommand `row` when there is one, with a line feed.
std::string usage_line(std::string_view invoked, const SubcommandRow* row = nullptr);

}  // namespace quvane::args
