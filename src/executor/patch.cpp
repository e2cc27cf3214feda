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
    // A run refused before it reached the daemon leaves its record too.
    const auto refused = [&](Result<> result) {
        sink_.refused(result.error());
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
    return call_and_show(command);
}

Result<Answer<std::vector<PatchListRecord>>> PatchCommandExecutor::list() {
    return unless_interrupted(remote_->call<std::vector<PatchListRecord>>(list_method, {}));
}

Result<> PatchCommandExecutor::save(const args::SubCommand& command, boot_set::Keeper& keeper) {
    const args::SubcommandRow& row = command.row();
    const auto recorded = [&](Result<> result) {
        const std::string_view details = command.force() ? " force=yes" : "";
        if (!result && result.error().kind() == FailureKind::BootSet) {
            sink_.refused(result.error());
        } else if (result) {
            sink_.all_patches(
                result, details,
                {{"boot_set", keeper.boot_set_names()}, {"dropped", keeper.dropped()}});
        } else {
            sink_.all_patches(result, details, {});
        }
        return result;
    };
    if (!keeper.keeps()) {
        // No record to guard or keep: the daemon's save alone, as ever.
        return recorded(unless_interrupted(done(remote_->call<Empty>(row.method, {}))));
    }
    // What the daemon holds as accepted now, which the save makes the boot set.
    auto live = list();
    if (!live) {
        return recorded(tl::unexpected(std::move(live.error())));
    }
    if (auto guarded = keeper.before_save(**live, command.force()); !guarded) {
        return recorded(std::move(guarded));
    }
    auto result = unless_interrupted(done(remote_->call<Empty>(row.method, {})));
    keeper.after_save(result);
    return recorded(std::move(result));
}

Result<> PatchCommandExecutor::restore_each(const std::vector<boot_set::SavedPatch>& patches) {
    auto live = list();
    if (!live) {
        return tl::unexpected(std::move(live.error()));
    }
    std::vector<std::string_view> uuids;
    uuids.reserve(live->records().size());
    for (const PatchListRecord& patch : **live) {
        uuids.push_back(patch.uuid);
    }
    boot_set::UuidIndex listed(std::move(uuids));
    std::vector<std::string> failures;
    for (const boot_set::SavedPatch& patch : patches) {
        const std::size_t at = listed.find(patch.uuid);
        const PatchStatus status =
            at != boot_set::UuidIndex::none ? (**live)[at].status : PatchStatus::NotApplied;
        if (patch.withdrawn || status == PatchStatus::Accepted || os::interrupted()) {
            continue;
        }
        // The steps that lead from its status to ACCEPTED.
        std::vector<std::string_view> steps{"accept"};
        if (status == PatchStatus::NotApplied || status == PatchStatus::Deactived) {
            steps.insert(steps.begin(), status == PatchStatus::NotApplied ? "apply" : "active");
        }
        for (const std::string_view step : steps) {
            auto result =
                unless_interrupted(remote_->call<StateRecords>(args::subcommand_named(step)->method,
                                                               {wire::encode_argument(patch.uuid)}),
                                   patch.name);
            if (!result) {
                failures.push_back(fmt::format("{}: {}", patch.name, result.error().message()));
                break;
            }
        }
    }
    if (failures.empty()) {
        return {};
    }
    return tl::unexpected(Error::listing("Operation failed", std::move(failures)));
}

Result<> PatchCommandExecutor::restore(const args::SubCommand& command, boot_set::Keeper& keeper) {
    const args::SubcommandRow& row = command.row();
    std::string details = command.accepted() ? " accepted=yes" : " accepted=no";
    sink_.restoring(command.accepted());
    const auto by_patch = keeper.restore_by_patch();
    if (by_patch && !command.accepted()) {
        std::vector<std::string> withdrawn;
        for (const boot_set::SavedPatch& patch : *by_patch) {
            if (patch.withdrawn) {
                withdrawn.emplace_back(patch.name);
            }
        }
        Error refused =
            Error(
                "'quvane restore --accepted' brings back the boot set without them; 'quvane "
                "save' first makes the saved status what the daemon holds now")
                .context(fmt::format("Refusing to restore all patch status: it would apply {}, "
                                     "withdrawn from what the next boot restores",
                                     fmt::join(withdrawn, ", ")))
                .of_kind(FailureKind::BootSet);
        sink_.refused(refused);
        return tl::unexpected(std::move(refused));
    }
    // On a host with no record yet, what was accepted before tells whether the restore shows
    // the saved set.
    auto before = keeper.adopts() ? list() : tl::unexpected(Error("not listed"));
    Result<> result;
    if (by_patch) {
        details += " by_patch=yes";
        result = restore_each(*by_patch);
    } else {
        result = unless_interrupted(
            done(remote_->call<Empty>(row.method, {wire::encode_argument(command.accepted())})));
    }
    if (!result && command.if_saved() && result.error().message() == nothing_saved_message) {
        // A host where nothing was ever saved boots like any other.
        result = {};
        details += " nothing_saved=yes";
        sink_.nothing_saved();
    }
    // What came back, when the daemon can say; the restore's outcome does not depend on it.
    auto after = result ? list() : tl::unexpected(Error("not listed"));
    const std::string back =
        keeper.after_restore(result, before ? &**before : nullptr, after ? &**after : nullptr);
    sink_.all_patches(result, details, {{"restored", back}});
    return result;
}

Result<> PatchCommandExecutor::catalogue(const args::SubCommand&, Run& run) {
    // One call, whose error is the run's, unchanged.
    auto patches = list();
    if (run.command.row().shows == args::Shows::BootSet) {
        // With the daemon down, the record still says what the next boot restores.
        boot_set::BootView view = run.keeper.view(patches ? &**patches : nullptr);
        if (patches || view.record == boot_set::RecordState::Recorded) {
            sink_.show(&view);
        }
    } else if (patches) {
        sink_.show(&**patches);
    }
    if (!patches) {
        return tl::unexpected(std::move(patches.error()));
    }
    return {};
}

Result<> PatchCommandExecutor::all_patches(const args::SubCommand& command, Run& run) {
    return command.row().boot == args::Boot::Restores ? restore(command, run.keeper)
                                                      : save(command, run.keeper);
}

// Every identifier is tried, past failures, until the run is interrupted; each outcome is
// shown as soon as its call has ended, and the summary of what failed or was not tried is
// returned after the last.
template <class T>
Result<> PatchCommandExecutor::each_identifier(const args::SubCommand& command, Run& run) {
    const args::SubcommandRow& row = command.row();
    std::vector<Outcome<T>> outcomes;
    outcomes.reserve(command.identifiers().size());
    // The patches an accept took, or may have.
    std::vector<std::string> accepted;
    if (row.boot == args::Boot::Withdraws) {
        run.keeper.before_withdraw(command.identifiers());
    }
    for (const std::string& identifier : command.identifiers()) {
        if (os::interrupted()) {
            outcomes.push_back(
                {identifier,
                 tl::unexpected(
                     Error(fmt::format("{}: not tried, the run was interrupted", identifier))
                         .of_kind(FailureKind::Interrupted))});
            if (row.boot == args::Boot::Withdraws) {
                run.keeper.settle_withdraw(identifier, boot_set::Settled::Refused,
                                           FailureKind::Interrupted, {}, false);
            }
        } else {
            outcomes.push_back(
                {identifier, unless_interrupted(
                                 remote_->call<T>(row.method, {wire::encode_argument(identifier)}),
                                 identifier)});
            if constexpr (std::is_same_v<T, StateRecords>) {
                noted(outcomes.back(), run, accepted);
            }
        }
        sink_.outcome(identifier, records_of(outcomes.back().result));
    }
    sink_.end_of_outcomes(row.shows);
    if (row.boot == args::Boot::Withdraws) {
        run.keeper.after_withdraw();
    } else if (row.boot == args::Boot::Accepts) {
        run.keeper.accepted(accepted);
    }
    return summary(outcomes);
}

void PatchCommandExecutor::noted(Outcome<StateRecords>& outcome, Run& run,
                                 std::vector<std::string>& accepted) {
    const args::SubcommandRow& row = run.command.row();
    std::vector<std::string> names;
    static const StateRecords none;
    for (const PatchStateRecord& state : outcome.result ? **outcome.result : none) {
        if (row.boot == args::Boot::Withdraws || state.status == PatchStatus::Accepted) {
            names.emplace_back(state.name);
        }
    }
    const Result<> ended = outcome.result ? Result<>{} : tl::unexpected(outcome.result.error());
    if (row.boot == args::Boot::Withdraws &&
        run.keeper.settle_withdraw(outcome.identifier, boot_set::settled(ended),
                                   ended ? FailureKind::Other : ended.error().kind(), names,
                                   row.word == "remove")) {
        // Not applied, and left out of the next boot: what the removal is for is done.
        Answer<StateRecords> removed;
        removed.records().push_back(
            {removed.arena().keep(outcome.identifier), PatchStatus::NotApplied});
        outcome.result = std::move(removed);
    } else if (row.boot == args::Boot::Accepts) {
        accepted.insert(accepted.end(), names.begin(), names.end());
        if (boot_set::settled(ended) == boot_set::Settled::Unknown) {
            accepted.push_back(outcome.identifier);
        }
    }
}

Result<> PatchCommandExecutor::call_and_show(const args::SubCommand& command) {
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
    boot_set::Keeper keeper(state_dir_, *work_dir_, proc_dir_);
    Run run{command, keeper};
    Result<> result;
    for (const auto& [shows, handler] : handlers) {
        if (shows == command.row().shows) {
            result = (this->*handler)(command, run);
        }
    }
    for (const boot_set::BootNote& note : keeper.take_notes()) {
        sink_.boot_note(note);
    }
    return result;
}

}  // namespace quvane::executor
