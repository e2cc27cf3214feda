#include "subcommand.h"

#include <algorithm>

#include <fmt/format.h>

#include "debug_form.h"
#include "lossy_utf8.h"

namespace quvane::args {
namespace {

// The variant at `index`, default-constructed.
SubCommand::Variant default_variant(std::size_t index) {
    static constexpr auto makers = []<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<SubCommand::Variant (*)(), sizeof...(I)>{
            +[] { return SubCommand::Variant(std::in_place_index<I>); }...};
    }
    (std::make_index_sequence<std::variant_size_v<SubCommand::Variant>>{});
    return makers[index]();
}

Result<std::vector<std::string>> list_values(const CommandMatches& matches, std::string_view key) {
    std::vector<std::string> texts;
    if (!matches.values) {
        return texts;
    }
    if (matches.values->empty()) {
        return fail(fmt::format("Argument \"{}\" is not present", key));
    }
    texts.reserve(matches.values->size());
    for (const std::string& value : *matches.values) {
        texts.push_back(to_text_lossy(value));
    }
    return texts;
}

// The identifiers of the variant that takes them, or null; const as `variant` is.
template <class Variant>
auto* identifiers_in(Variant& variant) noexcept {
    using List = std::conditional_t<std::is_const_v<Variant>, const std::vector<std::string>,
                                    std::vector<std::string>>;
    return std::visit(
        [](auto& alternative) -> List* {
            if constexpr (std::is_base_of_v<WithIdentifiers, std::decay_t<decltype(alternative)>>) {
                return &alternative.identifiers;
            } else {
                return nullptr;
            }
        },
        variant);
}

}  // namespace

Result<SubCommand> SubCommand::from_matches(const CommandMatches& matches) {
    const auto row = std::find_if(subcommand_rows.begin(), subcommand_rows.end(),
                                  [&](const SubcommandRow& r) { return r.word == matches.word; });
    if (row == subcommand_rows.end()) {
        return fail(fmt::format("Subcommand \"{}\" is invalid", matches.word));
    }
    SubCommand command{default_variant(static_cast<std::size_t>(row - subcommand_rows.begin()))};
    switch (row->takes) {
        case Takes::ToolArguments: {
            auto args = list_values(matches, "args");
            if (!args)
                return tl::unexpected(args.error());
            std::get<Build>(command.value).args = std::move(*args);
            break;
        }
        case Takes::Identifiers: {
            auto identifiers = list_values(matches, "identifier");
            if (!identifiers)
                return tl::unexpected(identifiers.error());
            *command.identifiers() = std::move(*identifiers);
            break;
        }
        case Takes::AcceptedFlag:
            std::get<Restore>(command.value).accepted = matches.accepted;
            std::get<Restore>(command.value).if_saved = matches.if_saved;
            break;
        case Takes::Nothing:
            break;
    }
    return command;
}

const std::vector<std::string>* SubCommand::identifiers() const noexcept {
    return identifiers_in(value);
}

std::vector<std::string>* SubCommand::identifiers() noexcept {
    return identifiers_in(value);
}

std::string SubCommand::debug_form() const {
    if (const auto* build = std::get_if<Build>(&value)) {
        return debug_form::record(name(), {{"args", debug_form::string_list(build->args)}});
    }
    if (const auto* restore = std::get_if<Restore>(&value)) {
        if (restore->if_saved) {
            return debug_form::record(name(), {{"accepted", debug_form::boolean(restore->accepted)},
                                               {"if_saved", debug_form::boolean(true)}});
        }
        return debug_form::record(name(), {{"accepted", debug_form::boolean(restore->accepted)}});
    }
    if (const auto* list = identifiers()) {
        return debug_form::record(name(), {{"identifiers", debug_form::string_list(*list)}});
    }
    return std::string(name());
}

}  // namespace quvane::args
