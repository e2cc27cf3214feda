#include "subcommand.h"

#include "debug_form.h"

namespace quvane::args {
SubCommand::SubCommand(const SubcommandRow& row, std::vector<std::string> values, bool accepted,
                       bool if_saved, bool force)
    : row_(&row),
      values_(std::move(values)),
      accepted_(accepted),
      if_saved_(if_saved),
      force_(force) {}

const std::vector<std::string>& SubCommand::identifiers() const noexcept {
    static const std::vector<std::string> none;
    return row_->takes == Takes::Identifiers ? values_ : none;
}

const std::vector<std::string>& SubCommand::tool_arguments() const noexcept {
    static const std::vector<std::string> none;
    return row_->takes == Takes::ToolArguments ? values_ : none;
}

std::string SubCommand::debug_form() const {
    switch (row_->takes) {
        case Takes::ToolArguments:
            return debug_form::record(name(), {{"args", debug_form::string_list(values_)}});
        case Takes::Identifiers:
            return debug_form::record(name(), {{"identifiers", debug_form::string_list(values_)}});
        case Takes::AcceptedFlag:
            if (if_saved_) {
                return debug_form::record(name(), {{"accepted", debug_form::boolean(accepted_)},
                                                   {"if_saved", debug_form::boolean(true)}});
            }
            return debug_form::record(name(), {{"accepted", debug_form::boolean(accepted_)}});
        case Takes::ForceFlag:
            if (force_) {
                return debug_form::record(name(), {{"force", debug_form::boolean(true)}});
            }
            break;
        case Takes::Nothing:
            break;
    }
    return std::string(name());
}

}  // namespace quvane::args
