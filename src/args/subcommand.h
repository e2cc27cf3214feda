// The one subcommand of a run: its row (what it means: word, help, what it takes, the daemon
// call, the lock, what it shows) and what it was given. Adding a subcommand is adding a row.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error_value.h"
#include "subcommand_rows.h"

namespace quvane::args {

class SubCommand {
  public:
    explicit SubCommand(const SubcommandRow& row, std::vector<std::string> values = {},
                        bool accepted = false, bool if_saved = false, bool force = false);

    const SubcommandRow& row() const noexcept { return *row_; }
    // The variant's name, as the debug form shows it.
    std::string_view name() const noexcept { return row_->name; }
    // One or more, as typed, in command-line order; empty unless the row takes identifiers.
    const std::vector<std::string>& identifiers() const noexcept;
    // Passed on to the build tool unchanged; empty unless the row takes them.
    const std::vector<std::string>& tool_arguments() const noexcept;
    bool accepted() const noexcept { return accepted_; }
    bool if_saved() const noexcept { return if_saved_; }  // nothing saved is no failure
    bool force() const noexcept { return force_; }        // save past the boot-set guard

    // The multi-line debug form shown in the verbose log.
    std::string debug_form() const;

    bool operator==(const SubCommand&) const = default;

  private:
    const SubcommandRow* row_;
    std::vector<std::string> values_;
    bool accepted_;
    bool if_saved_;
    bool force_;
};

}  // namespace quvane::args
