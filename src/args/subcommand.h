// The one subcommand of a run, with its data. Each subcommand states its own facts (word,
// help, what it takes) on its type; the variant's order is the order of the grammar and the
// help. The executors add what they do with it, keyed by the same types.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "error_value.h"

namespace quvane::args {

// What a subcommand takes after its word.
enum class Takes { Nothing, Identifiers, ToolArguments, AcceptedFlag };

struct SubcommandFacts {
    std::string_view word;  // on the command line
    std::string_view name;  // of the variant, in the debug form
    std::string_view help;
    Takes takes;
};

struct WithIdentifiers {
    std::vector<std::string> identifiers;  // one or more, as typed, in command-line order
    bool operator==(const WithIdentifiers&) const = default;
};

struct Build {
    static constexpr SubcommandFacts facts{"build", "Build", "Build a patch", Takes::ToolArguments};
    std::vector<std::string> args;  // passed on to the build tool unchanged
    bool operator==(const Build&) const = default;
};
struct Info : WithIdentifiers {
    static constexpr SubcommandFacts facts{"info", "Info", "Show patch info", Takes::Identifiers};
};
struct Target : WithIdentifiers {
    static constexpr SubcommandFacts facts{"target", "Target", "Show patch target",
                                           Takes::Identifiers};
};
struct Status : WithIdentifiers {
    static constexpr SubcommandFacts facts{"status", "Status", "Show patch status",
                                           Takes::Identifiers};
};
struct List {
    static constexpr SubcommandFacts facts{"list", "List", "List all patches", Takes::Nothing};
    bool operator==(const List&) const = default;
};
struct Check : WithIdentifiers {
    static constexpr SubcommandFacts facts{"check", "Check", "Check a patch", Takes::Identifiers};
};
struct Apply : WithIdentifiers {
    static constexpr SubcommandFacts facts{"apply", "Apply", "Apply a patch", Takes::Identifiers};
};
struct Remove : WithIdentifiers {
    static constexpr SubcommandFacts facts{"remove", "Remove", "Remove a patch",
                                           Takes::Identifiers};
};
struct Active : WithIdentifiers {
    static constexpr SubcommandFacts facts{"active", "Active", "Active a patch",
                                           Takes::Identifiers};
};
struct Deactive : WithIdentifiers {
    static constexpr SubcommandFacts facts{"deactive", "Deactive", "Deactive a patch",
                                           Takes::Identifiers};
};
struct Accept : WithIdentifiers {
    static constexpr SubcommandFacts facts{"accept", "Accept", "Accept a patch",
                                           Takes::Identifiers};
};
struct Save {
    static constexpr SubcommandFacts facts{"save", "Save", "Save all patch status", Takes::Nothing};
    bool operator==(const Save&) const = default;
};
struct Restore {
    static constexpr SubcommandFacts facts{"restore", "Restore", "Restore all patch status",
                                           Takes::AcceptedFlag};
    bool accepted = false;
    bool operator==(const Restore&) const = default;
};

// What the command-line parser matched for the subcommand, before conversion.
struct CommandMatches {
    std::string word{};  // as typed; empty when there was none
    // The values of the subcommand's list argument (`args` or `identifier`); nullopt when absent.
    std::optional<std::vector<std::string>> values{};
    bool accepted = false;
};

struct SubCommand {
    using Variant = std::variant<Build, Info, Target, Status, List, Check, Apply, Remove, Active,
                                 Deactive, Accept, Save, Restore>;

    // The facts of every subcommand, in the variant's order.
    static constexpr auto table = []<class... V>(std::variant<V...>*) {
        return std::array<SubcommandFacts, sizeof...(V)>{V::facts...};
    }(static_cast<Variant*>(nullptr));

    Variant value;

    // The variant for the matched word; values are converted to text, invalid UTF-8 replaced.
    static Result<SubCommand> from_matches(const CommandMatches& matches);

    const SubcommandFacts& facts() const noexcept { return table[value.index()]; }
    std::string_view name() const noexcept { return facts().name; }
    const std::vector<std::string>* identifiers() const noexcept;

    // The multi-line debug form shown in the verbose log.
    std::string debug_form() const;

    bool operator==(const SubCommand&) const = default;
};

}  // namespace quvane::args
