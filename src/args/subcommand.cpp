#include "subcommand.h"

#include "debug_form.h"

namespace quvane::args {
SubCommand::SubCommand(const SubcommandRow& row, std::vector<std::string> values, Flags flags)
    : row_(&row), values_(std::move(values)), flags_(flags) {}

const std::vector<std::string>& SubCommand::identifiers() const noexcept {
    static const std::vector<std::string> none;
    return row_->takes == Takes::Identifiers ? values_ : none;
}

const std::vector<std::string>& SubCommand::tool_arguments() const noexcept {
    static const std::vector<std::string> none;
    return row_->takes == Takes::ToolArguments ? values_ : none;
}

std::string SubCommand::debug_form() const {
    if (row_->takes == Takes::ToolArguments || row_->takes == Takes::Identifiers) {
        const bool tool = row_->takes == Takes::ToolArguments;
        return debug_form::record(
            name(), {{tool ? "args" : "identifiers", debug_form::string_list(values_)}});
    }
    std::vector<std::pair<std::string, std::string>> fields;
    for (const SubcommandFlag& flag : subcommand_flags) {
        if (flag.takes == row_->takes && (given(flag) || flag.always_logged)) {
            fields.emplace_back(debug_form::option_field(flag.word),
                                debug_form::boolean(given(flag)));
        }
    }
    return fields.empty() ? std::string(name())
                          : debug_form::record(name(), {fields.begin(), fields.end()});
}

}  // namespace quvane::args
