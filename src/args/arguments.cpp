#include "arguments.h"

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
    if (!matches.work_dir) {
        return fail("Argument \"work_dir\" is not present");
    }
    auto work_dir = absolute_work_dir(*matches.work_dir);
    if (!work_dir) {
        return tl::unexpected(work_dir.error());
    }
    std::optional<std::filesystem::path> metrics_file;
    if (matches.metrics_file) {
        metrics_file = *matches.metrics_file;
    }
    return Arguments{std::move(*command),    std::move(*work_dir), matches.verbose,
                     matches.json,           matches.timeout,      matches.wait,
                     std::move(metrics_file)};
}

}  // namespace

Result<Arguments> Arguments::parse(int argc, const char* const* argv, int output_error) {
    return from_matches(parse_command_line(argc, argv, output_error));
}

Result<Arguments> Arguments::from_matches(const Matches& matches) {
    return convert(matches).map_error(
        [](Error error) { return std::move(error).context("Failed to parse arguments"); });
}

std::string Arguments::debug_form() const {
    std::vector<std::pair<std::string_view, std::string>> fields{
        {"command", command.debug_form()},
        {"work_dir", debug_form::quoted(work_dir.native())},
        {"verbose", debug_form::boolean(verbose)}};
    // The later options show only when given, so a run without them logs as it always has.
    if (json) {
        fields.emplace_back("json", debug_form::boolean(json));
    }
    if (timeout) {
        fields.emplace_back("timeout",
                            fmt::format("{}s", std::chrono::duration<double>(*timeout).count()));
    }
    if (wait) {
        fields.emplace_back("wait",
                            fmt::format("{}s", std::chrono::duration<double>(*wait).count()));
    }
    if (metrics_file) {
        fields.emplace_back("metrics_file", debug_form::quoted(metrics_file->native()));
    }
    return debug_form::record("Arguments", fields);
}

}  // namespace quvane::args
