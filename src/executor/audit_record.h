// The system log's record of every change a run makes to patch state: who asked (the real
// user, and the user sudo or the login names), the subcommand, and for each identifier what
// became of it. Administrators ask after an incident who applied what and when. The records
// go to syslog's authpriv facility, kept apart from the world-readable logs on most systems,
// as sudo's own are. Writing them never holds up the run: a host without a system log loses
// them quietly, a log that does not take one in time is named once on standard error, and a
// long record is cut (marked "cut=yes") rather than dropped.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decoding/answer.h"
#include "error_value.h"
#include "os/system_log.h"
#include "patch_records.h"

namespace quvane::executor {

class AuditRecords {
  public:
    // Records under the name "quvane" for the run's `subcommand`; the log is reached at the
    // first record.
    explicit AuditRecords(std::string_view subcommand);
    AuditRecords(const AuditRecords&) = delete;
    AuditRecords& operator=(const AuditRecords&) = delete;

    // One record for `identifier`: the states it reached, or the error.
    void outcome(std::string_view identifier,
                 const Result<Answer<std::vector<PatchStateRecord>>>& states);
    // One record for a change of all patches (save, restore), with `details` (" key=value"
    // pairs of our own) after the outcome, then lists of names (the boot set a save left,
    // what it dropped, what a restore brought back), each quoted, the empty ones left out.
    void outcome(const Result<>& result, std::string_view details = {},
                 const std::vector<std::pair<std::string_view, std::string>>& names = {});
    // One record for a run refused before it reached the daemon (another run holds the lock,
    // not the superuser, a save that would drop what the next boot restores).
    void refused(const Error& error);

  private:
    // Sends "uid=... subcommand=...DETAILS", every value from outside quoted and escaped so
    // that no control character reaches the log.
    void send(std::string_view details);

    std::string who_;
    std::string subcommand_;
    os::SystemLog log_;
    bool said_undelivered_ = false;
};

}  // namespace quvane::executor
