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

#include "error_value.h"
#include "events.h"
#include "os/system_log.h"

namespace quvane::output {

// A sink of the subcommands that change patch state, beside the one that shows the results.
class AuditSink final : public ResultSink {
  public:
    // Records under the name "quvane" for the run's `subcommand`; the log is reached at the
    // first record.
    explicit AuditSink(std::string_view subcommand);
    AuditSink(const AuditSink&) = delete;
    AuditSink& operator=(const AuditSink&) = delete;

    void show(Records) override {}
    // One record for `identifier`: the states it reached, or the error.
    void outcome(std::string_view identifier, const Result<Records>& result) override;
    // One record for a change of all patches (save, restore).
    void all_patches(const Result<>& result, std::string_view details,
                     const NamedLists& names) override;
    // One record for a run refused before it reached the daemon (another run holds the lock,
    // not the superuser, a save that would drop what the next boot restores).
    void refused(const Error& error) override;

  private:
    // Sends "uid=... subcommand=...DETAILS", every value from outside quoted and escaped so
    // that no control character reaches the log.
    void send(std::string_view details);

    std::string who_;
    std::string subcommand_;
    os::SystemLog log_;
    bool said_undelivered_ = false;
};

}  // namespace quvane::output
