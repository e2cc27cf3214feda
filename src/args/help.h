// The texts the command line shows of itself, generated from the rows: the help of the program
// and of each subcommand, the usage line that ends a usage error, and its tips.
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

// "unknown subcommand", with the word the user probably meant when one is close.
std::string unknown_subcommand(std::string_view word);

// An option after the subcommand word: a program option in the wrong place, with the fix, or
// one nobody knows.
std::string misplaced_option(std::string_view invoked, std::string_view argument,
                             const SubcommandRow& row);

}  // namespace quvane::args
