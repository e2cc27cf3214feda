// The program's options, one row each, in the order of the help: its names, its help and where
// its value lands. The grammar, the help, the debug form and the generated shell completions
// all read the rows. Plain data, like the subcommand rows.
#pragma once

#include <array>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string_view>
#include <variant>

namespace quvane::args {

inline constexpr std::string_view default_work_dir = "/var/run/quvane";

// What the program options set; each field is filled by its row below.
struct Options {
    std::filesystem::path work_dir{default_work_dir};  // bytes as typed, until converted
    bool verbose = false;
    bool json = false;  // one JSON document on standard output
    // For every daemon call; none: wait without limit.
    std::optional<std::chrono::microseconds> timeout{};
    // For the operation lock; none: fail at once.
    std::optional<std::chrono::microseconds> wait{};
    // Where the results go as Prometheus metrics instead of standard output.
    std::optional<std::filesystem::path> metrics_file{};

    bool operator==(const Options&) const = default;
};

// An option that ends the parse with a text of the parser's own.
enum class ParserAction { Help, Version };

// Where an option lands: a flag set to true, a number of seconds, a path as typed, or an action.
using Landing =
    std::variant<ParserAction, bool Options::*, std::optional<std::chrono::microseconds> Options::*,
                 std::filesystem::path Options::*, std::optional<std::filesystem::path> Options::*>;

// What a shell may offer for an option's value.
enum class ValueKind { None, Directory, Seconds, File };

// Whether the verbose log's "Start with" shows the option when it was not given: those it
// always showed do, so that a run without the later ones logs as it always has.
enum class Logged { Always, WhenGiven };

struct ProgramOption {
    std::string_view short_name;  // "-w"; empty when there is none
    std::string_view long_name;   // "--work-dir"; its field in the debug form is "work_dir"
    std::string_view value_name;  // "WORK_DIR"; empty for a flag
    ValueKind value;
    std::string_view help;
    Landing lands;
    Logged logged = Logged::WhenGiven;

    constexpr bool takes_value() const noexcept { return value != ValueKind::None; }
    constexpr bool is_action(ParserAction action) const noexcept {
        const auto* own = std::get_if<ParserAction>(&lands);
        return own != nullptr && *own == action;
    }
};

// clang-format off
inline constexpr std::array program_options{
    ProgramOption{"-h", "--help", "", ValueKind::None, "Print help", ParserAction::Help},
    ProgramOption{"-V", "--version", "", ValueKind::None, "Print version", ParserAction::Version},
    ProgramOption{"-w", "--work-dir", "WORK_DIR", ValueKind::Directory, "Path for working directory", &Options::work_dir, Logged::Always},
    ProgramOption{"-v", "--verbose", "", ValueKind::None, "Provide more detailed info", &Options::verbose, Logged::Always},
    ProgramOption{"", "--json", "", ValueKind::None, "Print one JSON document instead of text", &Options::json},
    ProgramOption{"", "--timeout", "SECONDS", ValueKind::Seconds, "Give up on a daemon call after SECONDS", &Options::timeout},
    ProgramOption{"", "--wait", "SECONDS", ValueKind::Seconds, "Wait up to SECONDS for another run's lock", &Options::wait},
    ProgramOption{"", "--metrics-file", "FILE", ValueKind::File, "Write Prometheus metrics to FILE instead of the results", &Options::metrics_file},
};
// clang-format on

// The option that `argument` names, as typed ("--work-dir=X", "-vw"); null when none does.
constexpr const ProgramOption* option_named(std::string_view argument) noexcept {
    const std::string_view name = argument.substr(0, argument.find('='));
    for (const ProgramOption& option : program_options) {
        if (name == option.long_name ||
            (!option.short_name.empty() && argument.starts_with(option.short_name))) {
            return &option;
        }
    }
    return nullptr;
}

// The help flag of every subcommand that has one (all but the build tool's).
inline constexpr const ProgramOption& help_option = program_options[0];

}  // namespace quvane::args
