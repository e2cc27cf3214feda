#include "arguments.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <fmt/format.h>
#include <unistd.h>

#include "command_line.h"
#include "debug_form.h"
#include "system_error.h"
#include "terminal_text.h"
#include "work_dir.h"

namespace quvane::args {
namespace {

Result<Arguments> convert(const Matches& matches) {
    auto command = SubCommand::from_matches(matches.command.value_or(CommandMatches{}));
    if (!command) {
        return tl::unexpected(command.error());
    }
    auto work_dir = absolute_work_dir(matches.options.work_dir.native());
    if (!work_dir) {
        return tl::unexpected(work_dir.error());
    }
    Arguments arguments{matches.options, std::move(*command)};
    arguments.work_dir = std::move(*work_dir);
    return arguments;
}

// An option's value in the debug form, and whether it was given.
std::pair<std::string, bool> shown(bool flag) {
    return {debug_form::boolean(flag), flag};
}
std::pair<std::string, bool> shown(const std::filesystem::path& path) {
    return {debug_form::quoted(path.native()), true};
}
std::pair<std::string, bool> shown(const std::optional<std::filesystem::path>& path) {
    return {path ? debug_form::quoted(path->native()) : "", path.has_value()};
}
std::pair<std::string, bool> shown(const std::optional<std::chrono::microseconds>& duration) {
    return {duration ? fmt::format("{}s", std::chrono::duration<double>(*duration).count()) : "",
            duration.has_value()};
}

// "--work-dir" is the field "work_dir".
std::string field_name(const ProgramOption& option) {
    std::string name(option.long_name.substr(2));
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// Matches the process arguments. Writes help and version to standard output and ends the
// process with 0, or with 1 and a message on standard error when they cannot be written;
// writes usage errors (and the full help when no subcommand was given) to standard error and
// ends the process with 1.
Matches parse_or_exit(int argc, const char* const* argv, int output_error) {
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

}  // namespace

Result<Arguments> Arguments::parse(int argc, const char* const* argv, int output_error) {
    return from_matches(parse_or_exit(argc, argv, output_error));
}

Result<Arguments> Arguments::from_matches(const Matches& matches) {
    return convert(matches).map_error(
        [](Error error) { return std::move(error).context("Failed to parse arguments"); });
}

std::string Arguments::debug_form() const {
    std::vector<std::pair<std::string, std::string>> fields{{"command", command.debug_form()}};
    for (const ProgramOption& option : program_options) {
        std::visit(
            [&]<class Landing>(Landing lands) {
                if constexpr (!std::is_same_v<Landing, ParserAction>) {
                    auto [text, given] = shown(this->*lands);
                    if (given || option.logged == Logged::Always) {
                        fields.emplace_back(field_name(option), std::move(text));
                    }
                }
            },
            option.lands);
    }
    return debug_form::record("Arguments", {fields.begin(), fields.end()});
}

}  // namespace quvane::args
