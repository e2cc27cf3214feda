#include "command_line.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <getopt.h>

#include "help.h"
#include "lossy_utf8.h"
#include "program_options.h"
#include "seconds.h"

namespace quvane::args {
namespace {

using Seconds = std::optional<std::chrono::microseconds>;

// A long option's value in getopt's table: past every byte a short option can be.
constexpr int long_value_base = 256;

ParserExit usage_error(std::string_view invoked, const std::string& lines,
                       const SubcommandRow* row = nullptr) {
    return {
        fmt::format("{}\n{}For more information, try '--help'.\n", lines, usage_line(invoked, row)),
        true, EXIT_FAILURE};
}

class Grammar {
  public:
    explicit Grammar(std::string_view invoked) : invoked_(invoked) {
        for (std::size_t i = 0; i < program_options.size(); ++i) {
            const ProgramOption& row = program_options[i];
            longs_.push_back({row.long_name.data() + 2,
                              row.takes_value() ? required_argument : no_argument, nullptr,
                              long_value_base + static_cast<int>(i)});
            if (!row.short_name.empty()) {
                shorts_ += row.short_name[1];
                shorts_ += row.takes_value() ? ":" : "";
            }
        }
        longs_.push_back({nullptr, 0, nullptr, 0});
    }

    // Program options, then the subcommand word, then the subcommand's own arguments.
    ParseOutcome parse(int argc, char* const* argv) {
        optind = 0;  // a fresh scan: getopt keeps its place between calls
        opterr = 0;
        std::array<int, program_options.size()> seen{};
        for (int c = 0;
             (c = getopt_long(argc, argv, shorts_.c_str(), longs_.data(), nullptr)) != -1;) {
            // The option as typed: the word before its value when the value is a word of its own.
            const bool value_apart = optarg != nullptr && optind >= 2 && optarg == argv[optind - 1];
            const std::string_view typed = argv[optind - (value_apart ? 2 : 1)];
            const ProgramOption* row = c == '?' || c == ':' ? nullptr : row_of(c);
            // getopt takes "--verb" for --verbose and "--time 5" for --timeout 5; words are
            // matched exactly, with their value in either form.
            const auto prefix = [&](int option) {
                return typed.starts_with("--") && option_named(typed) != row_of(option);
            };
            if (c == '?' || (c == ':' && prefix(optopt)) || (row != nullptr && prefix(c))) {
                return usage_error(invoked_, refusal(typed, c == '?' ? optopt : 0));
            }
            if (c == ':') {
                return usage_error(
                    invoked_, fmt::format("error: option '{}' needs a value {}\n", name_of(optopt),
                                          row_of(optopt)->value_name));
            }
            if (seen[static_cast<std::size_t>(row - program_options.data())]++ > 0) {
                return usage_error(
                    invoked_,
                    fmt::format("error: option '{}' given more than once\n", row->long_name));
            }
            if (auto exit = take(*row, optarg != nullptr ? optarg : "")) {
                return *exit;
            }
        }
        if (optind >= argc) {
            return ParserExit{program_help(invoked_), true, EXIT_FAILURE};
        }
        const std::string_view word = argv[optind];
        const SubcommandRow* row = subcommand_named(word);
        if (row == nullptr) {
            return usage_error(invoked_, unknown_subcommand(word));
        }
        return parse_subcommand(*row, std::vector<std::string>(argv + optind + 1, argv + argc));
    }

  private:
    const ProgramOption* row_of(int c) const {
        if (c >= long_value_base) {
            return &program_options[static_cast<std::size_t>(c - long_value_base)];
        }
        return option_named(std::string{'-', static_cast<char>(c)});
    }

    // The name of the option getopt reports as `c`, as typed: "-w" or "--work-dir".
    std::string name_of(int c) const {
        return c >= long_value_base ? std::string(row_of(c)->long_name)
                                    : std::string{'-', static_cast<char>(c)};
    }

    // What getopt refused (`refused`, its optopt): an option it does not know, or one given a
    // value it takes none of.
    std::string refusal(std::string_view typed, int refused) const {
        if (refused >= long_value_base) {
            return fmt::format("error: option '{}' takes no value\n", row_of(refused)->long_name);
        }
        if (refused != 0) {
            return fmt::format("error: unknown option '-{}'\n", static_cast<char>(refused));
        }
        return fmt::format("error: unknown option '{}'\n", typed.substr(0, typed.find('=')));
    }

    // Lands one program option in the matches; the exit of help, version or a bad value.
    std::optional<ParserExit> take(const ProgramOption& row, const char* value) {
        return std::visit(
            [&]<class Landing>(Landing lands) -> std::optional<ParserExit> {
                Options& options = options_;
                if constexpr (std::is_same_v<Landing, ParserAction>) {
                    return ParserExit{lands == ParserAction::Help
                                          ? program_help(invoked_)
                                          : fmt::format("{} {}\n", program_name, program_version),
                                      false, EXIT_SUCCESS};
                } else if constexpr (std::is_same_v<Landing, bool Options::*>) {
                    options.*lands = true;
                } else if constexpr (std::is_same_v<Landing, Seconds Options::*>) {
                    const auto seconds = parse_seconds(value);
                    if (!seconds) {
                        return usage_error(invoked_,
                                           fmt::format("error: {} {}: {}\n", row.long_name, value,
                                                       seconds.error()));
                    }
                    options.*lands = *seconds;
                } else {
                    options.*lands = std::filesystem::path(value);
                }
                return std::nullopt;
            },
            row.lands);
    }

    // After the word: the build tool's arguments whole, or the subcommand's flags and
    // identifiers ("--" ends the flags).
    ParseOutcome parse_subcommand(const SubcommandRow& row, std::vector<std::string> rest) {
        if (row.takes == Takes::ToolArguments) {
            return arguments(row, std::move(rest));
        }
        std::vector<std::string> identifiers;
        bool operands_only = false;
        for (std::string& argument : rest) {
            const bool option = !operands_only && argument.size() > 1 && argument[0] == '-';
            if (option && argument == "--") {
                operands_only = true;
            } else if (option && (argument == "-h" || argument == "--help")) {
                return ParserExit{subcommand_help(invoked_, row), false, EXIT_SUCCESS};
            } else if (const auto flag = option ? flag_named(row, argument) : std::nullopt) {
                if (std::exchange(flags_[*flag], true)) {
                    return usage_error(
                        invoked_,
                        fmt::format("error: option '{}' given more than once\n", argument), &row);
                }
            } else if (option) {
                return usage_error(invoked_, misplaced_option(invoked_, argument, row), &row);
            } else if (row.takes == Takes::Identifiers) {
                identifiers.push_back(std::move(argument));
            } else {
                return usage_error(
                    invoked_, fmt::format("error: unexpected argument '{}'\n", argument), &row);
            }
        }
        if (row.takes == Takes::Identifiers && identifiers.empty()) {
            return usage_error(invoked_,
                               fmt::format("error: identifier is required: one or more {}\n",
                                           identifier_value_name),
                               &row);
        }
        return arguments(row, std::move(identifiers));
    }

    // The parsed command line: its values as text, invalid UTF-8 replaced.
    Arguments arguments(const SubcommandRow& row, std::vector<std::string> values) const {
        for (std::string& value : values) {
            value = to_text_lossy(value);
        }
        return Arguments{options_, SubCommand(row, std::move(values), flags_)};
    }

    // The subcommand's flag `argument`, its place in subcommand_flags; nothing when the row
    // takes no such flag.
    static std::optional<std::size_t> flag_named(const SubcommandRow& row,
                                                 std::string_view argument) {
        for (std::size_t i = 0; i < subcommand_flags.size(); ++i) {
            if (subcommand_flags[i].takes == row.takes && subcommand_flags[i].word == argument) {
                return i;
            }
        }
        return std::nullopt;
    }

    std::string invoked_;
    std::vector<option> longs_;
    std::string shorts_ = "+:";  // stop at the subcommand word; ':' for a missing value
    Options options_{};
    SubCommand::Flags flags_{};
};

}  // namespace

ParseOutcome match_command_line(int argc, const char* const* argv) {
    // getopt takes the vector as writable, and with "+" leaves its order as it is.
    std::vector<char*> arguments;
    arguments.reserve(static_cast<std::size_t>(argc) + 1);
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(const_cast<char*>(argv[i]));
    }
    arguments.push_back(nullptr);
    Grammar grammar(argc > 0 ? argv[0] : program_name);
    return grammar.parse(argc, arguments.data());
}

}  // namespace quvane::args
