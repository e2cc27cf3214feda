// The parsed command line of one run.
#pragma once

#include <optional>
#include <string>
#include <variant>

#include "error_value.h"
#include "program_options.h"
#include "subcommand.h"
#include "version.h"

namespace quvane::args {

inline constexpr std::string_view program_name = "quvane";
inline constexpr std::string_view program_version = quvane::version;

// What the parser says instead of matching: help, version or a usage error, and the status the
// run ends with.
struct ParserExit {
    std::string text;
    bool to_standard_error = false;
    int status = 0;
};

// The options, with `work_dir` absolute and lexically normalised, and the subcommand.
struct Arguments : Options {
    SubCommand command;

    // Parses the process arguments: the arguments, or the text that help, version or a usage
    // error shows instead; a work directory that cannot be made absolute is the error "Failed
    // to parse arguments" with its cause.
    static Result<std::variant<ParserExit, Arguments>> parse(int argc, const char* const* argv);

    std::string debug_form() const;

    bool operator==(const Arguments&) const = default;
};

}  // namespace quvane::args
