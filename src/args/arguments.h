// The parsed command line of one run.
#pragma once

#include <optional>
#include <string>

#include "error_value.h"
#include "program_options.h"
#include "subcommand.h"
#include "version.h"

namespace quvane::args {

inline constexpr std::string_view program_name = "quvane";
inline constexpr std::string_view program_version = quvane::version;

// What the command-line parser matched, before conversion.
struct Matches {
    std::optional<CommandMatches> command;
    Options options{};
};

// The options, with `work_dir` absolute and lexically normalised, and the subcommand.
struct Arguments : Options {
    SubCommand command;

    // Parses the process arguments. Help, version and usage errors are written by the parser,
    // which then ends the process (0 for help and version, 1 otherwise).
    // `output_error` is standard output's failure known before parsing, or 0.
    static Result<Arguments> parse(int argc, const char* const* argv, int output_error = 0);

    // Converts a successful parse; failures become "Failed to parse arguments" with the cause.
    static Result<Arguments> from_matches(const Matches& matches);

    std::string debug_form() const;

    bool operator==(const Arguments&) const = default;
};

}  // namespace quvane::args
