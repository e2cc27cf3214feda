// The one subcommand of a run, with its data. What each subcommand means (word, help, what it
// takes, the daemon call, the lock, what it shows) is its row in subcommand_rows.h, at the
// variant's own index.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "error_value.h"
#include "subcommand_rows.h"

namespace quvane::args {

struct WithIdentifiers {
    std::vector<std::string> identifiers;  // one or more, as typed, in command-line order
    bool operator==(const WithIdentifiers&) const = default;
};

// One type per subcommand, holding what it was given; what it means is its row.
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
    bool if_saved = false;  // a daemon with nothing saved is no failure
    bool operator==(const Restore&) const = default;
};

// What the command-line parser matched for the subcommand, before conversion.
struct CommandMatches {
    std::string word{};  // as typed; empty when there was none
    // The values of the subcommand's list argument (`args` or `identifier`); nullopt when absent.
    std::optional<std::vector<std::string>> values{};
    bool accepted = false;
    bool if_saved = false;
};

struct SubCommand {
    using Variant = std::variant<Build, Info, Target, Status, List, Check, Apply, Remove, Active,
                                 Deactive, Accept, Save, Restore>;

    Variant value;

    // The variant for the matched word; values are converted to text, invalid UTF-8 replaced.
    static Result<SubCommand> from_matches(const CommandMatches& matches);

    const SubcommandRow& row() const noexcept { return subcommand_rows[value.index()]; }
    std::string_view name() const noexcept { return row().name; }
    // The identifiers of a subcommand that takes them; null for any other.
    const std::vector<std::string>* identifiers() const noexcept;
    std::vector<std::string>* identifiers() noexcept;

    // The multi-line debug form shown in the verbose log.
    std::string debug_form() const;

    bool operator==(const SubCommand&) const = default;
};

static_assert(std::variant_size_v<SubCommand::Variant> == subcommand_rows.size(),
              "one row per variant");

}  // namespace quvane::args
