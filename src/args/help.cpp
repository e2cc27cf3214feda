#include "help.h"

#include <algorithm>

#include <fmt/format.h>

#include "arguments.h"
#include "edit_distance.h"
#include "program_options.h"

namespace quvane::args {
namespace {

// Entries start two blanks in; their help stands in one column.
constexpr std::size_t help_column = 30;

void append_entry(std::string& out, std::string_view names, std::string_view help) {
    out += fmt::format("  {:<{}}{}\n", names, help_column - 2, help);
}

// "-w,--work-dir WORK_DIR" or "    --json".
std::string option_names(const ProgramOption& option) {
    std::string names = option.short_name.empty() ? "    " : std::string(option.short_name) + ",";
    names += option.long_name;
    if (option.takes_value()) {
        names += " " + std::string(option.value_name);
    }
    return names;
}

// What follows the word in a subcommand's usage.
std::string_view operands(const SubcommandRow& row) {
    switch (row.takes) {
        case Takes::Identifiers:
            return " IDENTIFIER...";
        case Takes::ToolArguments:
            return " [ARGS...]";
        case Takes::AcceptedFlag:
        case Takes::ForceFlag:
            return " [OPTIONS]";
        case Takes::Nothing:
            break;
    }
    return "";
}

}  // namespace

std::string usage_line(std::string_view invoked, const SubcommandRow* row) {
    if (row == nullptr) {
        return fmt::format("Usage: {} [OPTIONS] SUBCOMMAND\n", invoked);
    }
    return fmt::format("Usage: {} {}{}\n", invoked, row->word, operands(*row));
}

std::string program_help(std::string_view invoked) {
    std::string out = "Quvane command line interface\n" + usage_line(invoked) + "\nOptions:\n";
    for (const ProgramOption& option : program_options) {
        append_entry(out, option_names(option), option.help);
    }
    out += "\nSubcommands:\n";
    for (const SubcommandRow& row : subcommand_rows) {
        append_entry(out, row.word, row.help);
    }
    return out;
}

std::string subcommand_help(std::string_view invoked, const SubcommandRow& row) {
    std::string out = fmt::format("{}\n{}", row.help, usage_line(invoked, &row));
    if (row.takes == Takes::Identifiers) {
        out += "\nPositionals:\n";
        append_entry(out, std::string(identifier_value_name) + "...", identifier_help);
    }
    out += "\nOptions:\n";
    append_entry(out, option_names(help_option), help_option.help);
    for (const SubcommandFlag& flag : subcommand_flags) {
        if (flag.takes == row.takes) {
            append_entry(out, "    " + std::string(flag.word), flag.help);
        }
    }
    return out;
}

std::string unknown_subcommand(std::string_view word) {
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

// An option after the subcommand word: a program option that stands in the wrong place,
// with the fix, or one nobody knows.
std::string misplaced_option(std::string_view invoked, std::string_view argument,
                             const SubcommandRow& row) {
    const ProgramOption* option = option_named(argument);
    if (option == nullptr || option->is_action(ParserAction::Version)) {
        return fmt::format("error: The following argument was not expected: {}\n", argument);
    }
    const std::string name(argument.starts_with("--") ? option->long_name : option->short_name);
    const std::string value =
        option->takes_value() ? " " + std::string(option->value_name) : std::string();
    return fmt::format(
        "error: unexpected argument '{}' after the subcommand\n"
        "tip: options go before the subcommand: {} {}{} {} ...\n",
        argument, invoked, name, value, row.word);
}

}  // namespace quvane::args
