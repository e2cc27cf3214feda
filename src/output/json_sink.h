// The run's one JSON document, for scripts, built here alone: {"patches":[...]} for the list,
// {"results":[...],"failures":[...]} for the subcommands that take identifiers,
// {"error":{...}} for a run that failed before showing anything, {} for one that showed
// nothing. It goes to standard output in blocks as it is written, never held whole.
#pragma once

#include <string>

#include "events.h"
#include "log/console.h"

namespace quvane::output {

class JsonSink final : public ResultSink {
  public:
    explicit JsonSink(log::Console& console) : console_(console) {}

    // {"patches":[...]} for the list; for the boot set
    // {"patches":[{…,"next_boot":…,"boot":…}],"recorded":…,"record_state":…,"record":…,
    // "record_error":…,"restore_skipped_by":…,"last_restore":{…}}, and "error" when the
    // daemon did not answer.
    void show(Records records) override;
    // {"identifier":…,KEY:…} among the results (KEY "info", "target" or "patches", none for a
    // check), or {"identifier":…,"error":…,"kind":…} among the failures.
    void outcome(std::string_view identifier, const Result<Records>& result) override;
    void end_of_outcomes(args::Shows shows) override;
    // A restore's document holds "accepted" (and "nothing_saved" when the daemon had none)
    // before whatever else it says.
    void restoring(bool accepted) override;
    void nothing_saved() override { members_ += ",\"nothing_saved\":true"; }
    // Members after the rest: the boot set after a save, what a restore brought back, what
    // returns at boot or is not saved, why no record is kept.
    void boot_note(const BootNote& note) override;

    // Ends the document of a run that ended with `result` (the whole document when nothing
    // was shown) with a line feed.
    void finish(const Result<>& result);
    // Between two elements of an array being written to `out`: a full block goes out.
    void between(std::string& out);

  private:
    void show_list(const std::vector<PatchListRecord>& patches);
    void show_boot(const BootView& view);
    // Hands the block to the console once it is full, or whatever it holds when `all`.
    void write_block(bool all = false);

    log::Console& console_;
    std::string block_;
    std::string failures_;  // the failures' entries, which follow every result
    bool shown_ = false;
    bool whole_ = false;   // a view that stands beside a failure
    std::string members_;  // of the document's object, before the rest (",KEY:VALUE")
    std::string notes_;    // and after it
};

}  // namespace quvane::output
