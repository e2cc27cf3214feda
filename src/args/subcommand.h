// The one subcommand of a run: its row (what it means: word, help, what it takes, the daemon
// call, the lock, what it shows) and what it was given. Adding a subcommand is adding a row.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error_value.h"
#include "subcommand_rows.h"

namespace quvane::args {

class SubCommand {
  public:
    // Per entry of subcommand_flags, whether it was given.
    using Flags = std::array<bool, subcommand_flags.size()>;

    explicit SubCommand(const SubcommandRow& row, std::vector<std::string> values = {},
                        Flags flags = {});

    const SubcommandRow& row() const noexcept { return *row_; }
    // The variant's name, as the debug form shows it.
    std::string_view name() const noexcept { return row_->name; }
    // One or more, as typed, in command-line order; empty unless the row takes identifiers.
    const std::vector<std::string>& identifiers() const noexcept;
    // Passed on to the build tool unchanged; empty unless the row takes them.
    const std::vector<std::string>& tool_arguments() const noexcept;
    bool given(const SubcommandFlag& flag) const noexcept {
        return flags_[static_cast<std::size_t>(&flag - subcommand_flags.data())];
    }
    bool accepted() const noexcept { return given(accepted_flag); }
    bool if_saved() const noexcept { return given(if_saved_flag); }  // nothing saved is no failure
    bool force() const noexcept { return given(force_flag); }        // save past the guard

    // The multi-line debug form shown in the verbose log.
    std::string debug_form() const;

    bool operator==(const SubCommand&) const = default;

  private:
    const SubcommandRow* row_;
    std::vector<std::string> values_;
    Flags flags_;
};

}  // namespace quvane::args
