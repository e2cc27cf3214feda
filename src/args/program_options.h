// The program's options, one row each, in the order of the help: what the grammar and the
// generated shell completions know of them. Plain data, like the subcommand rows.
#pragma once

#include <array>
#include <string_view>

namespace quvane::args {

// Which field of the parsed command line an option fills.
enum class OptionKey { WorkDir, Verbose, Json, Timeout, Wait, MetricsFile, Help, Version };

// What a shell may offer for an option's value.
enum class ValueKind { None, Directory, Seconds, File };

struct ProgramOption {
    OptionKey key;
    std::string_view short_name;  // "-w"; empty when there is none
    std::string_view long_name;   // "--work-dir"
    std::string_view value_name;  // "WORK_DIR"; empty for a flag
    ValueKind value;
    std::string_view help;

    constexpr bool takes_value() const noexcept { return value != ValueKind::None; }
};

// clang-format off
inline constexpr std::array program_options{
    ProgramOption{OptionKey::Help, "-h", "--help", "", ValueKind::None, "Print help"},
    ProgramOption{OptionKey::Version, "-V", "--version", "", ValueKind::None, "Print version"},
    ProgramOption{OptionKey::WorkDir, "-w", "--work-dir", "WORK_DIR", ValueKind::Directory, "Path for working directory"},
    ProgramOption{OptionKey::Verbose, "-v", "--verbose", "", ValueKind::None, "Provide more detailed info"},
    ProgramOption{OptionKey::Json, "", "--json", "", ValueKind::None, "Print one JSON document instead of text"},
    ProgramOption{OptionKey::Timeout, "", "--timeout", "SECONDS", ValueKind::Seconds, "Give up on a daemon call after SECONDS"},
    ProgramOption{OptionKey::Wait, "", "--wait", "SECONDS", ValueKind::Seconds, "Wait up to SECONDS for another run's lock"},
    ProgramOption{OptionKey::MetricsFile, "", "--metrics-file", "FILE", ValueKind::File, "Write Prometheus metrics to FILE instead of the results"},
};
// clang-format on

// The help flag of every subcommand that has one (all but the build tool's).
inline constexpr const ProgramOption& help_option = program_options[0];

}  // namespace quvane::args
