// Fills quvane's bash and zsh completion templates from the subcommand and program-option
// rows, so that the shells know every subcommand and option the grammar knows.
// Usage: generate_completions TEMPLATE_DIR OUTPUT_DIR
//   reads quvane.bash.in and _quvane.in, fills their {{NAME}} placeholders, writes
//   quvane.bash and _quvane.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "args/program_options.h"
#include "args/subcommand_rows.h"

namespace {

using namespace quvane::args;

void append_word(std::string& out, std::string_view word, std::string_view separator = " ") {
    if (!word.empty()) {
        out.append(out.empty() ? "" : separator).append(word);
    }
}

std::string subcommand_words(std::string_view separator) {
    std::string out;
    for (const SubcommandRow& row : subcommand_rows) {
        append_word(out, row.word, separator);
    }
    return out;
}

std::string subcommand_words(Takes takes) {
    std::string out;
    for (const SubcommandRow& row : subcommand_rows) {
        if (row.takes == takes) {
            append_word(out, row.word, "|");
        }
    }
    return out;
}

std::string option_names(const ProgramOption& option, std::string_view separator) {
    std::string out;
    append_word(out, option.short_name, separator);
    append_word(out, option.long_name, separator);
    return out;
}

// The names of every option whose value is `kind`, as one case pattern: "-w | --work-dir".
std::string option_pattern(ValueKind kind) {
    std::string out;
    for (const ProgramOption& option : program_options) {
        if (option.value == kind) {
            append_word(out, option_names(option, " | "), " | ");
        }
    }
    return out;
}

std::string every_option_name() {
    std::string out;
    for (const ProgramOption& option : program_options) {
        append_word(out, option_names(option, " "));
    }
    return out;
}

// One case arm per subcommand that acts on some statuses only.
std::string status_arms(std::string_view indent, std::string_view action) {
    std::string out;
    for (const SubcommandRow& row : subcommand_rows) {
        if (!row.acts_on.empty()) {
            append_word(out,
                        std::string(indent) + std::string(row.word) + ") " + std::string(action) +
                            "'" + std::string(row.acts_on) + "' ;;",
                        "\n");
        }
    }
    return out;
}

// Text for inside a single-quoted shell word.
std::string single_quoted_inside(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out;
}

// One _arguments entry of a program option.
std::string zsh_option_entry(const ProgramOption& option) {
    std::string value;
    if (option.value == ValueKind::Directory) {
        value = ":" + std::string(option.value_name) + ":_directories";
    } else if (option.value == ValueKind::Seconds) {
        value = ":" + std::string(option.value_name) + ": ";
    } else if (option.value == ValueKind::File) {
        value = ":" + std::string(option.value_name) + ":_files";
    }
    const std::string help = "[" + single_quoted_inside(option.help) + "]" + value;
    const bool shows = std::holds_alternative<ParserAction>(option.lands);
    const std::string long_name = std::string(option.long_name) + (option.takes_value() ? "=" : "");
    if (option.short_name.empty()) {
        return "'" + std::string(shows ? "(- *)" : "") + long_name + help + "'";
    }
    const std::string exclusion = shows ? "(- *)" : "(" + option_names(option, " ") + ")";
    return "'" + exclusion + "'{" + std::string(option.short_name) +
           (option.takes_value() ? "+" : "") + "," + long_name + "}'" + help + "'";
}

std::string zsh_option_entries() {
    std::string out;
    for (const ProgramOption& option : program_options) {
        append_word(out, "        " + zsh_option_entry(option) + " \\", "\n");
    }
    return out;
}

std::string zsh_described_subcommands() {
    std::string out;
    for (const SubcommandRow& row : subcommand_rows) {
        append_word(
            out, "        '" + std::string(row.word) + ":" + single_quoted_inside(row.help) + "'",
            "\n");
    }
    return out;
}

// ${opt_args[-w]:-${opt_args[--work-dir]}}: the work directory as typed, under either name.
std::string zsh_work_dir_lookup() {
    for (const ProgramOption& option : program_options) {
        if (option.value == ValueKind::Directory) {
            const std::string long_form = "${opt_args[" + std::string(option.long_name) + "]}";
            return option.short_name.empty()
                       ? long_form
                       : "${opt_args[" + std::string(option.short_name) + "]:-" + long_form + "}";
        }
    }
    return "";
}

std::map<std::string, std::string> placeholders() {
    return {
        {"STATUS_ARMS", status_arms("        ", "echo ")},
        {"ZSH_STATUS_ARMS", status_arms("                        ", "quvane_statuses=")},
        {"SUBCOMMANDS", subcommand_words(" ")},
        {"DIRECTORY_OPTIONS", option_pattern(ValueKind::Directory)},
        {"SECONDS_OPTIONS", option_pattern(ValueKind::Seconds)},
        {"FILE_OPTIONS", option_pattern(ValueKind::File)},
        {"PROGRAM_OPTIONS", every_option_name()},
        {"HELP_FLAGS", option_names(help_option, " ")},
        {"ACCEPTED_FLAG", std::string(accepted_flag.word) + " " + std::string(if_saved_flag.word)},
        {"TAKE_TOOL_ARGUMENTS", subcommand_words(Takes::ToolArguments)},
        {"TAKE_NOTHING", subcommand_words(Takes::Nothing)},
        {"TAKE_ACCEPTED_FLAG", subcommand_words(Takes::AcceptedFlag)},
        {"FORCE_FLAG", std::string(force_flag.word)},
        {"TAKE_FORCE_FLAG", subcommand_words(Takes::ForceFlag)},
        {"FORCE_ENTRY",
         "'" + std::string(force_flag.word) + "[" + std::string(force_flag.help) + "]'"},
        {"TAKE_IDENTIFIERS", subcommand_words(Takes::Identifiers)},
        {"DESCRIBED_SUBCOMMANDS", zsh_described_subcommands()},
        {"OPTION_ENTRIES", zsh_option_entries()},
        {"WORK_DIR_LOOKUP", zsh_work_dir_lookup()},
        {"HELP_ENTRY", zsh_option_entry(help_option)},
        {"ACCEPTED_ENTRY",
         "'" + std::string(accepted_flag.word) + "[" + std::string(accepted_flag.help) + "]' '" +
             std::string(if_saved_flag.word) + "[" + std::string(if_saved_flag.help) + "]'"},
    };
}

// The template with every {{NAME}} replaced; false when it names an unknown placeholder.
bool fill(std::string& text, const std::map<std::string, std::string>& values) {
    std::string out;
    std::size_t at = 0;
    for (std::size_t open = text.find("{{"); open != std::string::npos;
         open = text.find("{{", at)) {
        const std::size_t close = text.find("}}", open + 2);
        const auto value = close == std::string::npos
                               ? values.end()
                               : values.find(text.substr(open + 2, close - open - 2));
        if (value == values.end()) {
            std::fprintf(stderr, "generate_completions: unknown placeholder at byte %zu\n", open);
            return false;
        }
        out.append(text, at, open - at).append(value->second);
        at = close + 2;
    }
    text = out + text.substr(at);
    return true;
}

bool generate(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::ifstream in(from, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string script = text.str();
    if (!in || !fill(script, placeholders())) {
        std::fprintf(stderr, "generate_completions: cannot read %s\n", from.c_str());
        return false;
    }
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << script;
    out.close();
    if (!out) {
        std::fprintf(stderr, "generate_completions: cannot write %s\n", to.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: generate_completions TEMPLATE_DIR OUTPUT_DIR\n");
        return 2;
    }
    const std::filesystem::path templates = argv[1];
    const std::filesystem::path out = argv[2];
    std::error_code ignored;
    std::filesystem::create_directories(out, ignored);
    const bool bash = generate(templates / "quvane.bash.in", out / "quvane.bash");
    const bool zsh = generate(templates / "_quvane.in", out / "_quvane");
    return bash && zsh ? 0 : 1;
}
