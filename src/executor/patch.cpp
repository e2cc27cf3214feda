#include "patch.h"

#include <optional>

#include <fmt/format.h>

#include "operation_lock.h"
#include "os/interruption.h"
#include "os/user.h"
#include "trusted_directory.h"

namespace quvane::executor {
namespace {

// How the patch service answers a restore when nothing was ever saved: an error object with
// this message, whatever its code. `restore --if-saved` relies on it (the manual page says so).
constexpr std::string_view nothing_saved_message = "No saved patch status to restore";

// The method that lists the whole catalogue: what `save` and `restore` read the boot set from.
constexpr std::string_view list_method = args::subcommand_named("list")->method;

// "Operation failed", caused by the numbered messages of the failed calls; success when every
// call succeeded. A call that ran out of the time limit is named, since its message does not
// say which it was.
template <class Outcomes>
Result<> summary(const Outcomes& outcomes) {
    std::vector<std::string> failures;
    // The kind every failure shares, which the whole run then has (a daemon that is down).
    std::optional<FailureKind> kind;
    for (const auto& [identifier, result] : outcomes) {
        if (!result) {
            kind = !kind || *kind == result.error().kind() ? result.error().kind()
                                                           : FailureKind::Other;
            failures.push_back(result.error().is_timeout()
                                   ? fmt::format("{}: {}", identifier, result.error().message())
                                   : result.error().message());
        }
    }
    if (failures.empty()) {
        return {};
    }
    return tl::unexpected(Error::listing("Operation failed", std::move(failures))
                              .of_kind(kind.value_or(FailureKind::Other)));
}

// `text` as one word for a shell: as it is when it holds only characters no shell acts on,
// otherwise in single quotes.
std::string shell_word(std::string_view text) {
    constexpr std::string_view safe =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_@%+=:,./-";
    if (!text.empty() && text.find_first_not_of(safe) == std::string_view::npos) {
        return std::string(text);
    }
    std::string word = "'";
    for (const char c : text) {
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return word + "'";
}

// What a call that failed because the run was interrupted tells: the daemon may have done it.
Error interrupted_in_flight(std::string_view identifier) {
    if (identifier.empty()) {
        return Error(
                   "The run was interrupted while the daemon was handling the call, so its "
                   "outcome is unknown")
            .of_kind(FailureKind::Interrupted);
    }
    return Error(fmt::format("{}: the run was interrupted while the daemon was handling it, so "
                             "its outcome is unknown (check with quvane status {})",
                             identifier, shell_word(identifier)))
        .of_kind(FailureKind::Interrupted);
}

// A call's result, or the interruption that ended it.
template <class T>
Result<T> unless_interrupted(Result<T> result, std::string_view identifier = {}) {
    if (!result && os::interrupted()) {
        return tl::unexpected(interrupted_in_flight(identifier));
    }
    return result;
}

// The records of an outcome as the sink takes them.
template <class T>
Result<Records> records_of(const Result<Answer<T>>& result) {
    if (!result) {
        return tl::unexpected(result.error());
    }
    return Records(&**result);
}

// A call's result without its records: for the calls that return nothing.
Result<> done(Result<Answer<Empty>> result) {
    if (!result) {
        return tl::unexpected(std::move(result.error()));
    }
    return {};
}

}  // namespace

Result<> PatchCommandExecutor::invoke(const args::SubCommand& command) {
    const args::SubcommandRow& row = command.row();
    if (row.method.empty()) {
        return {};
    }
    std::optional<AuditRecords> audit;
    if (row.audit == args::Audit::Recorded) {
        audit.emplace(row.word);
    }
    // A run refused before it reached the daemon leaves its record too.
    const auto refused = [&](Result<> result) {
        if (audit) {
            audit->refused(result.error());
        }
        return result;
    };
    if (auto superuser = os::user::check_superuser(); !superuser) {
        return refused(std::move(superuser));
    }
    // Held until the outcomes are shown: an interrupted run still says what it did.
    const os::InterruptionWatch interruptions;
    if (row.wait == args::WaitLine::BeforeLock) {
        // The notice comes first: the daemon may take long, and the lock may be held.
        sink_.notice(row.wait);
    }
    std::optional<OperationLock> lock;
    if (row.locking == args::Locking::Exclusive) {
        if (auto trusted = check_trusted_directory(*work_dir_); !trusted) {
            return refused(std::move(trusted));
        }
        auto held = OperationLock::acquire(*work_dir_, lock_name_, true, lock_wait_, [&] {
            sink_.lock_busy(work_dir_->path() / lock_name_, lock_wait_);
        });
        if (!held) {
            return refused(tl::unexpected(std::move(held.error())));
        }
        lock.emplace(std::move(*held));
    }
    if (row.wait == args::WaitLine::AfterLock) {
        sink_.notice(row.wait);
    }
    return call_and_show(command, audit);
}

Result<Answer<std::vector<PatchListRecord>>> PatchCommandExecutor::list() {
    return unless_interrupted(remote_->call<std::vector<PatchListRecord>>(list_method, {}));
}

Result<> PatchCommandExecutor::save(const args::SubCommand& command, boot_set::Keeper& keeper,
                                    std::optional<AuditRecords>& audit) {
    const args::SubcommandRow& row = command.row();
    const auto recorded = [&](Result<> result, std::optional<std::string_view> boot_set = {}) {
        if (audit && !result && result.error().kind() == FailureKind::BootSet) {
            audit->refused(result.error());
        } else if (audit) {
            audit->outcome(result, {}, boot_set);
        }
        return result;
    };
    if (!keeper.can_keep()) {
        // No record to guard or keep: the daemon's save alone, as ever.
        return recorded(unless_interrupted(done(remote_->call<Empty>(row.method, {}))));
    }
    // What the daemon holds as accepted now, which the save makes the boot set.
    auto live = list();
    if (!live) {
        return recorded(tl::unexpected(std::move(live.error())));
    }
    if (auto guarded = keeper.guard_save(**live, command.force()); !guarded) {
        return recorded(std::move(guarded));
    }
    auto result = unless_interrupted(done(remote_->call<Empty>(row.method, {})));
    if (result) {
        keeper.saved(**live);
    }
    return recorded(std::move(result), keeper.boot_set_names());
}

Result<> PatchCommandExecutor::restore(const args::SubCommand& command, boot_set::Keeper& keeper,
                                       std::optional<AuditRecords>& audit) {
    const args::SubcommandRow& row = command.row();
    std::string details = command.accepted() ? " accepted=yes" : " accepted=no";
    sink_.restoring(command.accepted());
    auto result = unless_interrupted(
        done(remote_->call<Empty>(row.method, {wire::encode_argument(command.accepted())})));
    if (!result && command.if_saved() && result.error().message() == nothing_saved_message) {
        // A host where nothing was ever saved boots like any other.
        result = {};
        details += " nothing_saved=yes";
        sink_.nothing_saved();
    }
    if (audit) {
        audit->outcome(result, details);
    }
    // What came back, when the daemon can say; the restore's outcome does not depend on it.
    auto live = result ? list() : tl::unexpected(Error("not listed"));
    keeper.restored(result, live ? &**live : nullptr);
    return result;
}

Result<> PatchCommandExecutor::catalogue(const args::SubCommand&, Run& run) {
    // One call, whose error is the run's, unchanged.
    auto patches = list();
    if (!patches) {
        return tl::unexpected(std::move(patches.error()));
    }
    if (run.command.row().shows == args::Shows::BootSet) {
        auto view = run.keeper.view(**patches);
        if (!view) {
            return tl::unexpected(std::move(view.error()));
        }
        sink_.show(&*view);
    } else {
        sink_.show(&**patches);
    }
    return {};
}

Result<> PatchCommandExecutor::all_patches(const args::SubCommand& command, Run& run) {
    return command.row().boot == args::Boot::Restores ? restore(command, run.keeper, run.audit)
                                                      : save(command, run.keeper, run.audit);
}

// Every identifier is tried, past failures, until the run is interrupted; each outcome is
// shown as soon as its call has ended, and the summary of what failed or was not tried is
// returned after the last.
template <class T>
Result<> PatchCommandExecutor::each_identifier(const args::SubCommand& command, Run& run) {
    const args::SubcommandRow& row = command.row();
    std::vector<Outcome<T>> outcomes;
    outcomes.reserve(command.identifiers().size());
    // The patches whose change moves them in or out of what the next boot restores.
    std::vector<std::string> changed;
    for (const std::string& identifier : command.identifiers()) {
        if (os::interrupted()) {
            outcomes.push_back(
                {identifier,
                 tl::unexpected(
                     Error(fmt::format("{}: not tried, the run was interrupted", identifier))
                         .of_kind(FailureKind::Interrupted))});
        } else {
            outcomes.push_back(
                {identifier, unless_interrupted(
                                 remote_->call<T>(row.method, {wire::encode_argument(identifier)}),
                                 identifier)});
            if constexpr (std::is_same_v<T, StateRecords>) {
                noted(outcomes.back(), run, changed);
            }
        }
        sink_.outcome(identifier, records_of(outcomes.back().result));
    }
    sink_.end_of_outcomes(row.shows);
    if (row.boot == args::Boot::Withdraws) {
        run.keeper.withdrew(changed);
    } else if (row.boot == args::Boot::Accepts) {
        run.keeper.accepted(changed);
    }
    return summary(outcomes);
}

void PatchCommandExecutor::noted(const Outcome<StateRecords>& outcome, Run& run,
                                 std::vector<std::string>& changed) {
    if (run.audit) {
        run.audit->outcome(outcome.identifier, outcome.result);
    }
    if (!outcome.result) {
        return;
    }
    for (const PatchStateRecord& state : **outcome.result) {
        if (run.command.row().boot == args::Boot::Withdraws ||
            state.status == PatchStatus::Accepted) {
            changed.emplace_back(state.name);
        }
    }
}

Result<> PatchCommandExecutor::call_and_show(const args::SubCommand& command,
                                             std::optional<AuditRecords>& audit) {
    using Handler = Result<> (PatchCommandExecutor::*)(const args::SubCommand&, Run&);
    // The handler of each kind of result.
    static constexpr std::pair<args::Shows, Handler> handlers[] = {
        {args::Shows::PatchTable, &PatchCommandExecutor::catalogue},
        {args::Shows::BootSet, &PatchCommandExecutor::catalogue},
        {args::Shows::Nothing, &PatchCommandExecutor::all_patches},
        {args::Shows::InfoBlocks, &PatchCommandExecutor::each_identifier<PatchInfo>},
        {args::Shows::TargetBlocks, &PatchCommandExecutor::each_identifier<PackageInfo>},
        {args::Shows::StateLines, &PatchCommandExecutor::each_identifier<StateRecords>},
        {args::Shows::CheckVerdict, &PatchCommandExecutor::each_identifier<Empty>},
    };
    boot_set::Keeper keeper(state_dir_, work_dir_->path(), sink_);
    Run run{command, audit, keeper};
    for (const auto& [shows, handler] : handlers) {
        if (shows == command.row().shows) {
            return (this->*handler)(command, run);
        }
    }
    return {};
}

}  // namespace quvane::executor
