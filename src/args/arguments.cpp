#include "arguments.h"

#include <algorithm>
#include <chrono>
#include <variant>

#include <fmt/format.h>

#include "command_line.h"
#include "debug_form.h"
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

}  // namespace

Result<std::variant<ParserExit, Arguments>> Arguments::parse(int argc, const char* const* argv) {
    ParseOutcome outcome = match_command_line(argc, argv);
    if (auto* exit = std::get_if<ParserExit>(&outcome)) {
        return std::move(*exit);
    }
    return from_matches(std::get<Matches>(outcome));
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
