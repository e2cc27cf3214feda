// The results as text lines for a person, each one Info record of the patch executor. Text from
// outside is escaped here when the console says its records reach a terminal.
#pragma once

#include <string_view>

#include "log/console.h"
#include "result_sink.h"

namespace quvane::executor {

class TextSink final : public ResultSink {
  public:
    explicit TextSink(const log::Console& console) : console_(console) {}

    void notice(args::WaitLine line) override;
    // The header and one row per record, columns padded to 40, 60 and 12 characters.
    void show(const std::vector<PatchListRecord>& patches) override;
    // Per success: separator, "Patch: {identifier}", separator, the record's text; at the end
    // a closing separator, written even when nothing succeeded.
    void show(const Outcome<PatchInfo>& outcome) override;
    void show(const Outcome<PackageInfo>& outcome) override;
    // "{name}: {status}" per record of a success.
    void show(const Outcome<StateRecords>& outcome) override;
    // At the end, "Checks are passed!" when every check succeeded.
    void show(const Outcome<void>& outcome) override;
    void end_of_outcomes(args::Shows shows) override;
    // A word on standard error, for a person at a terminal only: that the run waits, or how
    // not to fail.
    void lock_busy(const std::filesystem::path& path,
                   std::optional<std::chrono::duration<double>> wait) override;
    // On standard error, for a person at a terminal only.
    void boot_note(const BootNote& note) override;
    // The list's table with a column for the next boot, then what it restores.
    void show(const BootView& view) override;

  private:
    // Appends text from outside (a name, an identifier) as the console shows it.
    void append_outside(std::string& line, std::string_view text) const;
    template <class Record>
    void write_block(const Outcome<Record>& outcome) const;

    const log::Console& console_;
    bool any_failed_ = false;
};

}  // namespace quvane::executor
