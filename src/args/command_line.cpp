#include "command_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include "edit_distance.h"
#include "program_options.h"
#include "seconds.h"
#include "system_error.h"
#include "terminal_text.h"

namespace quvane::args {
namespace {

// CLI11's layout, with the value name standing for a positional argument ("IDENTIFIER...")
// and the subcommand shown as required: the parser is told it is optional only so that a
// run without one can answer with the full help.
class HelpFormatter final : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App* app, std::string name) const override {
        std::string usage = CLI::Formatter::make_usage(app, std::move(name));
        if (const auto optional = usage.find("[SUBCOMMAND]"); optional != std::string::npos) {
            usage.replace(optional, 12, "SUBCOMMAND");
        }
        return usage;
    }

    std::string make_option_usage(const CLI::Option* option) const override {
        return option->get_type_name() + "...";
    }

    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        return positional ? option->get_type_name() + "..."
                          : CLI::Formatter::make_option_name(option, false);
    }

    std::string make_option_opts(const CLI::Option* option) const override {
        return option->get_positional() ? std::string() : CLI::Formatter::make_option_opts(option);
    }
};

// The usage line of the deepest subcommand that was matched, or of the program.
std::string usage_line(const CLI::App& app) {
    const CLI::App* current = &app;
    std::string name = app.get_name();
    while (!current->get_subcommands().empty()) {
        current = current->get_subcommands().front();
        name += " " + current->get_name();
    }
    return HelpFormatter().make_usage(current, name);
}

// A number of seconds as parse_seconds() takes it.
CLI::Validator positive_seconds() {
    return CLI::Validator(
        [](const std::string& value) -> std::string {
            auto seconds = parse_seconds(value);
            return seconds ? std::string() : seconds.error();
        },
        "");
}

// Where the subcommand word stands among the arguments (their count when there is none), and
// whether the options before it ask for help or the version.
struct ProgramOptions {
    std::size_t word;
    bool help_or_version;
};

class Grammar {
  public:
    Grammar() {
        app_.description("Quvane command line interface");
        // CLI11 never asks the terminal for its width, so the layout is the same everywhere.
        auto formatter = std::make_shared<HelpFormatter>();
        formatter->column_width(40);
        app_.formatter(formatter);
        for (const ProgramOption& option : program_options) {
            add_program_option(option);
        }
        app_.require_subcommand(0, 1);
    }

    ParseOutcome parse(int argc, const char* const* argv) {
        std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
        const ProgramOptions scan = scan_program_options(arguments);
        add_subcommands(arguments, scan);
        if (const std::size_t word = scan.word;
            word < arguments.size() && takes_the_rest(arguments[word])) {
            build_args_.assign(arguments.begin() + static_cast<std::ptrdiff_t>(word) + 1,
                               arguments.end());
            arguments.resize(word + 1);
        }
        const std::vector<std::string> typed = arguments;
        // CLI11 takes the arguments last to first, and consumes them.
        std::reverse(arguments.begin(), arguments.end());
        app_.name(argc > 0 ? argv[0] : std::string(program_name));
        try {
            app_.parse(arguments);
        } catch (const CLI::CallForHelp&) {
            return ParserExit{app_.help(), false, EXIT_SUCCESS};
        } catch (const CLI::CallForVersion& version) {
            return ParserExit{std::string(version.what()) + "\n", false, EXIT_SUCCESS};
        } catch (const CLI::ParseError& error) {
            return ParserExit{fmt::format("{}\n{}\nFor more information, try '--help'.\n",
                                          explain(error, typed), usage_line(app_)),
                              true, EXIT_FAILURE};
        }
        if (app_.get_subcommands().empty()) {
            return ParserExit{app_.help(), true, EXIT_FAILURE};
        }
        return matches();
    }

  private:
    // CLI11's name list of an option: "-w,--work-dir".
    static std::string names(const ProgramOption& option) {
        return option.short_name.empty()
                   ? std::string(option.long_name)
                   : fmt::format("{},{}", option.short_name, option.long_name);
    }

    // Builds one program option of the grammar, as its row says, bound to its field.
    void add_program_option(const ProgramOption& row) {
        const std::string help(row.help);
        CLI::Option* option = nullptr;
        switch (row.key) {
            case OptionKey::Help:
                app_.set_help_flag(names(row), help);
                return;
            case OptionKey::Version:
                app_.set_version_flag(names(row),
                                      fmt::format("{} {}", program_name, program_version), help);
                return;
            case OptionKey::WorkDir:
                option = app_.add_option(names(row), work_dir_, help)
                             ->default_str(std::string(default_work_dir));
                break;
            case OptionKey::Verbose:
                option = app_.add_flag(names(row), verbose_, help);
                break;
            case OptionKey::Json:
                option = app_.add_flag(names(row), json_, help);
                break;
            case OptionKey::Timeout:
                option = app_.add_option(names(row), timeout_, help)->check(positive_seconds());
                break;
            case OptionKey::Wait:
                option = app_.add_option(names(row), wait_, help)->check(positive_seconds());
                break;
            case OptionKey::MetricsFile:
                option = app_.add_option(names(row), metrics_file_, help);
                break;
        }
        option->multi_option_policy(CLI::MultiOptionPolicy::Throw);
        if (row.takes_value()) {
            option->type_name(std::string(row.value_name));
        } else {
            option->disable_flag_override();
        }
    }

    // Builds one subcommand of the grammar, as its row says.
    void add_subcommand(const SubcommandRow& row) {
        CLI::App* sub = app_.add_subcommand(std::string(row.word), std::string(row.help));
        switch (row.takes) {
            case Takes::ToolArguments:
                // Everything after the word belongs to the build tool, -h and -- included; it
                // is split off before parsing.
                sub->set_help_flag();
                break;
            case Takes::AcceptedFlag:
                sub->add_flag(std::string(accepted_flag), accepted_,
                              std::string(accepted_flag_help))
                    ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
                    ->disable_flag_override();
                sub->add_flag(std::string(if_saved_flag), if_saved_,
                              std::string(if_saved_flag_help))
                    ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
                    ->disable_flag_override();
                break;
            case Takes::Identifiers:
                sub->add_option("identifier", identifiers_, std::string(identifier_help))
                    ->type_name(std::string(identifier_value_name))
                    ->required()
                    ->expected(1, -1);
                break;
            case Takes::Nothing:
                break;
        }
    }

    // Every subcommand, or only the one the run names: a run needs the others only for the
    // program's help and for a word that names none, and building all thirteen with their
    // help is a good part of the start-up.
    void add_subcommands(const std::vector<std::string>& arguments, const ProgramOptions& scan) {
        const auto named = std::find_if(
            subcommand_rows.begin(), subcommand_rows.end(), [&](const SubcommandRow& row) {
                return scan.word < arguments.size() && row.word == arguments[scan.word];
            });
        if (named != subcommand_rows.end() && !scan.help_or_version) {
            add_subcommand(*named);
            return;
        }
        for (const SubcommandRow& row : subcommand_rows) {
            add_subcommand(row);
        }
    }

    // The usage error's first lines: what was wrong, and a tip where the fix is likely.
    // `arguments` are in command-line order.
    std::string explain(const CLI::ParseError& error,
                        const std::vector<std::string>& arguments) const {
        const bool matched = !app_.get_subcommands().empty();
        const CLI::App& level = matched ? *app_.get_subcommands().front() : app_;
        // What the parser could not place, first as typed.
        const std::vector<std::string> unplaced = level.remaining();
        const auto first = std::find_if(arguments.begin(), arguments.end(), [&](const auto& a) {
            return std::find(unplaced.begin(), unplaced.end(), a) != unplaced.end();
        });
        if (first == arguments.end()) {
            return fmt::format("error: {}\n", error.what());
        }
        const std::string& argument = *first;
        if (!matched && !argument.starts_with("-")) {
            return unknown_subcommand(argument);
        }
        const std::string name = argument.substr(0, argument.find('='));
        const CLI::Option* option = app_.get_option_no_throw(name);
        // Help stands after a subcommand too, and the version has no place there at all.
        if (matched && option != nullptr && option != app_.get_help_ptr() &&
            option != app_.get_version_ptr()) {
            const std::string value =
                option->get_expected_min() > 0 ? " " + option->get_type_name() : std::string();
            return fmt::format(
                "error: unexpected argument '{}' after the subcommand\n"
                "tip: options go before the subcommand: {} {}{} {} ...\n",
                argument, app_.get_name(), name, value, level.get_name());
        }
        return fmt::format("error: The following argument was not expected: {}\n", argument);
    }

    static std::string unknown_subcommand(const std::string& word) {
        std::string text = fmt::format("error: unknown subcommand '{}'\n", word);
        const auto closest =
            std::min_element(subcommand_rows.begin(), subcommand_rows.end(),
                             [&](const SubcommandRow& a, const SubcommandRow& b) {
                                 return edit_distance(word, a.word) < edit_distance(word, b.word);
                             });
        // Close enough to be a slip of the keyboard, not another word.
        if (edit_distance(word, closest->word) <= std::max<std::size_t>(1, word.size() / 3)) {
            text += fmt::format("tip: a similar subcommand exists: '{}'\n", closest->word);
        }
        return text;
    }

    // Whether `word` names the subcommand whose arguments all go to the build tool.
    static bool takes_the_rest(std::string_view word) {
        return std::any_of(subcommand_rows.begin(), subcommand_rows.end(),
                           [&](const SubcommandRow& row) {
                               return row.takes == Takes::ToolArguments && row.word == word;
                           });
    }

    // Whether the program's option named `name` ("-w", "--work-dir") takes a value.
    bool takes_value(const std::string& name) const {
        const CLI::Option* option = app_.get_option_no_throw(name);
        return option != nullptr && option->get_expected_min() > 0;
    }

    // Whether the program's option named `name` asks for help or the version.
    bool asks_to_show(const std::string& name) const {
        const CLI::Option* option = app_.get_option_no_throw(name);
        return option != nullptr &&
               (option == app_.get_help_ptr() || option == app_.get_version_ptr());
    }

    // The program's options before the subcommand word, stepped over as the parser's own
    // option table describes them.
    ProgramOptions scan_program_options(const std::vector<std::string>& arguments) const {
        ProgramOptions scan{arguments.size(), false};
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const std::string& argument = arguments[i];
            if (argument == "--") {
                break;
            }
            if (argument.starts_with("--")) {
                const std::string name = argument.substr(0, argument.find('='));
                scan.help_or_version |= asks_to_show(name);
                i += name == argument && takes_value(argument);
            } else if (argument.starts_with("-") && argument.size() > 1) {
                // A cluster of short options: the first that takes a value takes the rest of
                // the cluster, or the next argument when it ends the cluster.
                for (std::size_t c = 1; c < argument.size(); ++c) {
                    const std::string name{'-', argument[c]};
                    scan.help_or_version |= asks_to_show(name);
                    if (takes_value(name)) {
                        i += c == argument.size() - 1;
                        break;
                    }
                }
            } else {
                scan.word = i;
                break;
            }
        }
        return scan;
    }

    Matches matches() const {
        const CLI::App* sub = app_.get_subcommands().front();
        CommandMatches command{sub->get_name(), std::nullopt, accepted_, if_saved_};
        if (takes_the_rest(sub->get_name())) {
            if (!build_args_.empty()) {
                command.values = build_args_;
            }
        } else if (const CLI::Option* identifier = sub->get_option_no_throw("identifier");
                   identifier != nullptr && identifier->count() > 0) {
            command.values = identifiers_;
        }
        const auto duration = [](const std::optional<std::string>& text) {
            // Checked by the grammar already.
            return text ? std::optional(*parse_seconds(*text)) : std::nullopt;
        };
        return Matches{std::move(command), work_dir_,       verbose_,     json_,
                       duration(timeout_), duration(wait_), metrics_file_};
    }

    CLI::App app_;
    std::string work_dir_{default_work_dir};
    bool verbose_ = false;
    bool json_ = false;
    std::optional<std::string> timeout_;
    std::optional<std::string> wait_;
    std::optional<std::string> metrics_file_;
    bool accepted_ = false;
    bool if_saved_ = false;
    std::vector<std::string> identifiers_;
    std::vector<std::string> build_args_;
};

}  // namespace

ParseOutcome match_command_line(int argc, const char* const* argv) {
    Grammar grammar;
    return grammar.parse(argc, argv);
}

Matches parse_command_line(int argc, const char* const* argv, int output_error) {
    ParseOutcome outcome = match_command_line(argc, argv);
    if (auto* matches = std::get_if<Matches>(&outcome)) {
        return std::move(*matches);
    }
    const auto& exit = std::get<ParserExit>(outcome);
    std::FILE* stream = exit.to_standard_error ? stderr : stdout;
    errno = 0;
    if (stream == stdout && output_error == 0 &&
        (std::fputs(exit.text.c_str(), stream) < 0 || std::fflush(stream) != 0)) {
        output_error = errno != 0 ? errno : EIO;
    }
    if (stream == stdout && output_error != 0) {
        // Help or version that nobody can read is no success.
        std::fprintf(stderr, "Error: Failed to write to standard output: %s\n",
                     system_error_text(output_error).c_str());
        std::exit(EXIT_FAILURE);
    }
    if (stream == stderr) {
        // A usage error echoes what was typed, which may be daemon text pasted in or completed:
        // on a terminal it must not act on it.
        std::string text;
        append_shown(text, exit.text,
                     ::isatty(STDERR_FILENO) == 1 ? Shown::Escaped : Shown::Verbatim, true);
        std::fwrite(text.data(), 1, text.size(), stream);
    }
    std::exit(exit.status);
}

}  // namespace quvane::args
