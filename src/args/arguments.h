// The parsed command line of one run.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "error_value.h"
#include "subcommand.h"
#include "version.h"

namespace quvane::args {

inline constexpr std::string_view program_name = "quvane";
inline constexpr std::string_view program_version = quvane::version;
inline constexpr std::string_view default_work_dir = "/var/run/quvane";

// What the command-line parser matched, before conversion.
struct Matches {
    std::optional<CommandMatches> command;
    std::optional<std::string> work_dir;  // raw bytes
    bool verbose = false;
    bool json = false;
    std::optional<std::chrono::microseconds> timeout{};  // positive, at most longest_wait
    std::optional<std::chrono::microseconds> wait{};
    std::optional<std::string> metrics_file{};  // raw bytes
};

struct Arguments {
    SubCommand command;
    std::filesystem::path work_dir;  // absolute, lexically normalised
    bool verbose = false;
    bool json = false;  // one JSON document on standard output
    // For every daemon call; none: wait without limit.
    std::optional<std::chrono::microseconds> timeout{};
    // For the operation lock; none: fail at once.
    std::optional<std::chrono::microseconds> wait{};
    // Where the results go as Prometheus metrics instead of standard output.
    std::optional<std::filesystem::path> metrics_file{};

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
