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

}  // namespace

Result<SubCommand> SubCommand::from_matches(const CommandMatches& matches) {
    const auto facts = std::find_if(table.begin(), table.end(), [&](const SubcommandFacts& f) {
        return f.word == matches.word;
    });
    if (facts == table.end()) {
        return fail(fmt::format("Subcommand \"{}\" is invalid", matches.word));
    }
    SubCommand command{default_variant(static_cast<std::size_t>(facts - table.begin()))};
    Result<> filled = std::visit(
        [&](auto& variant) -> Result<> {
            using V = std::decay_t<decltype(variant)>;
            if constexpr (std::is_same_v<V, Build>) {
                auto args = list_values(matches, "args");
                if (!args)
                    return tl::unexpected(args.error());
                variant.args = std::move(*args);
            } else if constexpr (std::is_base_of_v<WithIdentifiers, V>) {
                auto identifiers = list_values(matches, "identifier");
                if (!identifiers)
                    return tl::unexpected(identifiers.error());
                variant.identifiers = std::move(*identifiers);
            } else if constexpr (std::is_same_v<V, Restore>) {
                variant.accepted = matches.accepted;
            }
            return {};
        },
        command.value);
    if (!filled) {
        return tl::unexpected(filled.error());
    }
    return command;
}

const std::vector<std::string>* SubCommand::identifiers() const noexcept {
    return std::visit(
        [](const auto& variant) -> const std::vector<std::string>* {
            if constexpr (std::is_base_of_v<WithIdentifiers, std::decay_t<decltype(variant)>>) {
                return &variant.identifiers;
            } else {
                return nullptr;
            }
        },
        value);
}

std::string SubCommand::debug_form() const {
    if (const auto* build = std::get_if<Build>(&value)) {
        return debug_form::record(name(), {{"args", debug_form::string_list(build->args)}});
    }
    if (const auto* restore = std::get_if<Restore>(&value)) {
        return debug_form::record(name(), {{"accepted", debug_form::boolean(restore->accepted)}});
    }
    if (const auto* list = identifiers()) {
        return debug_form::record(name(), {{"identifiers", debug_form::string_list(*list)}});
    }
    return std::string(name());
}

}  // namespace quvane::args
