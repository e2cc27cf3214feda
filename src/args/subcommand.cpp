#include "subcommand.h"

#include <fmt/format.h>

#include "debug_form.h"
#include "lossy_utf8.h"

namespace quvane::args {
namespace {

// The name of the list a row takes, as the conversion's errors and the debug form say it.
std::string_view list_name(Takes takes) {
    return takes == Takes::ToolArguments ? "args" : "identifier";
}

}  // namespace

SubCommand::SubCommand(const SubcommandRow& row, std::vector<std::string> values, bool accepted,
                       bool if_saved, bool force)
    : row_(&row),
      values_(std::move(values)),
      accepted_(accepted),
      if_saved_(if_saved),
      force_(force) {}

Result<SubCommand> SubCommand::from_matches(const CommandMatches& matches) {
    const SubcommandRow* row = subcommand_named(matches.word);
    if (row == nullptr) {
        return fail(fmt::format("Subcommand \"{}\" is invalid", matches.word));
    }
    std::vector<std::string> texts;
    const bool takes_list = row->takes == Takes::ToolArguments || row->takes == Takes::Identifiers;
    if (takes_list && matches.values) {
        if (matches.values->empty()) {
            return fail(fmt::format("Argument \"{}\" is not present", list_name(row->takes)));
        }
        texts.reserve(matches.values->size());
        for (const std::string& value : *matches.values) {
            texts.push_back(to_text_lossy(value));
        }
    }
    const bool flags = row->takes == Takes::AcceptedFlag;
    return SubCommand(*row, std::move(texts), flags && matches.accepted, flags && matches.if_saved,
                      row->takes == Takes::ForceFlag && matches.force);
}

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
