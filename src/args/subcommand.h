// The one subcommand of a run, with its data.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "error.h"

namespace quvane::args {

struct WithIdentifiers {
    std::vector<std::string> identifiers;  // one or more, as typed, in command-line order
    bool operator==(const WithIdentifiers&) const = default;
};

struct Build {
    std::vector<std::string> args;  // passed on to the build tool unchanged
    bool operator==(const Build&) const = default;
};
struct Info : WithIdentifiers {};
struct Target : WithIdentifiers {};
struct Status : WithIdentifiers {};
struct List {
    bool operator==(const List&) const = default;
};
struct Check : WithIdentifiers {};
struct Apply : WithIdentifiers {};
struct Remove : WithIdentifiers {};
struct Active : WithIdentifiers {};
struct Deactive : WithIdentifiers {};
struct Accept : WithIdentifiers {};
struct Save {
    bool operator==(const Save&) const = default;
};
struct Restore {
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
    // In the order of the subcommand words below.
    using Variant = std::variant<Build, Info, Target, Status, List, Check, Apply, Remove, Active,
                                 Deactive, Accept, Save, Restore>;

    static constexpr std::array<std::string_view, 13> words{
        "build",  "info",   "target",   "status", "list", "check",  "apply",
        "remove", "active", "deactive", "accept", "save", "restore"};
    static constexpr std::array<std::string_view, 13> names{
        "Build",  "Info",   "Target",   "Status", "List", "Check",  "Apply",
        "Remove", "Active", "Deactive", "Accept", "Save", "Restore"};

    Variant value;

    // The variant for the matched word; values are converted to text, invalid UTF-8 replaced.
    static Result<SubCommand> from_matches(const CommandMatches& matches);

    std::string_view name() const noexcept { return names[value.index()]; }
    const std::vector<std::string>* identifiers() const noexcept;

    // The multi-line debug form shown in the verbose log.
    std::string debug_form() const;

    bool operator==(const SubCommand&) const = default;
};

}  // namespace quvane::args
