// The results as text lines for a person, each one Info record of the patch executor. Text from
// outside is escaped here when the console says its records reach a terminal.
#pragma once

#include <string_view>

#include "events.h"
#include "log/console.h"

namespace quvane::output {

class TextSink final : public ResultSink {
  public:
    explicit TextSink(const log::Console& console) : console_(console) {}

    void notice(args::WaitLine line) override;
    // The list: the header and one row per record, columns padded to 40, 60 and 12 characters;
    // the boot set: the same with a column for the next boot, then what it restores.
    void show(Records records) override;
    // Per success: info and target blocks (separator, "Patch: {identifier}", separator, the
    // record's text), "{name}: {status}" per state record; a check's outcome is remembered.
    void outcome(std::string_view identifier, const Result<Records>& result) override;
    // A closing separator after blocks, written even when nothing succeeded; "Checks are
    // passed!" when every check succeeded.
    void end_of_outcomes(args::Shows shows) override;
    // A word on standard error, for a person at a terminal only: that the run waits, or how
    // not to fail.
    void lock_busy(const std::filesystem::path& path,
                   std::optional<std::chrono::duration<double>> wait) override;
    // On standard error, for a person at a terminal only.
    void boot_note(const BootNote& note) override;

  private:
    void table(const std::vector<PatchListRecord>& patches);
    void table(const BootView& view);
    // Appends text from outside (a name, an identifier) as the console shows it.
    void append_outside(std::string& line, std::string_view text) const;
    void write_block(std::string_view identifier, const std::string& text) const;

    const log::Console& console_;
    bool any_failed_ = false;
};

}  // namespace quvane::output
