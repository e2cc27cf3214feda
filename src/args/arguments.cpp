#include "arguments.h"

#include <chrono>
#include <variant>

#include <fmt/format.h>

#include "command_line.h"
#include "debug_form.h"
#include "work_dir.h"

namespace quvane::args {
namespace {

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

}  // namespace

Result<std::variant<ParserExit, Arguments>> Arguments::parse(int argc, const char* const* argv) {
    ParseOutcome outcome = match_command_line(argc, argv);
    if (auto* exit = std::get_if<ParserExit>(&outcome)) {
        return std::move(*exit);
    }
    auto& arguments = std::get<Arguments>(outcome);
    auto work_dir = absolute_work_dir(arguments.work_dir.native());
    if (!work_dir) {
        return tl::unexpected(std::move(work_dir.error()).context("Failed to parse arguments"));
    }
    arguments.work_dir = std::move(*work_dir);
    return std::move(arguments);
}

std::string Arguments::debug_form() const {
    std::vector<std::pair<std::string, std::string>> fields{{"command", command.debug_form()}};
    for (const ProgramOption& option : program_options) {
        std::visit(
            [&]<class Landing>(Landing lands) {
                if constexpr (!std::is_same_v<Landing, ParserAction>) {
                    auto [text, given] = shown(this->*lands);
                    if (given || option.logged == Logged::Always) {
                        fields.emplace_back(debug_form::option_field(option.long_name),
                                            std::move(text));
                    }
                }
            },
            option.lands);
    }
    return debug_form::record("Arguments", {fields.begin(), fields.end()});
}

}  // namespace quvane::args
