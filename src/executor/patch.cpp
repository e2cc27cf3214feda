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
template <class T>
Result<> summary(const std::vector<Outcome<T>>& outcomes) {
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

// What sees no outcome.
struct Unnoted {
    template <class T>
    void operator()(const Outcome<T>&) const noexcept {}
};

// Every identifier is tried, past failures, until the run is interrupted; each outcome is
// shown as soon as its call has ended, and the summary of what failed or was not tried is
// returned after the last. `noted` sees each outcome of a call as soon as it is known.
template <class Value, class Call, class Noted = Unnoted>
Result<> for_each_identifier(const std::vector<std::string>& identifiers, args::Shows shows,
                             ResultSink& sink, Call call, Noted noted = {}) {
    std::vector<Outcome<Value>> outcomes;
    outcomes.reserve(identifiers.size());
    for (const std::string& identifier : identifiers) {
        if (os::interrupted()) {
            outcomes.push_back(
                {identifier,
                 tl::unexpected(
                     Error(fmt::format("{}: not tried, the run was interrupted", identifier))
                         .of_kind(FailureKind::Interrupted))});
        } else {
            outcomes.push_back({identifier, unless_interrupted(call(identifier), identifier)});
            noted(outcomes.back());
        }
        sink.show(outcomes.back());
    }
    sink.end_of_outcomes(shows);
    return summary(outcomes);
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

Result<> PatchCommandExecutor::call_and_show(const args::SubCommand& command,
                                             std::optional<AuditRecords>& audit) {
    const args::SubcommandRow& row = command.row();
    const std::vector<std::string>& identifiers = command.identifiers();
    boot_set::Keeper keeper(state_dir_, work_dir_->path(), sink_);
    // The row's method, with one identifier as its parameter, its result decoded as T.
    const auto call_with = [&]<class T>(std::string_view identifier) {
        return remote_->call<T>(row.method, {wire::encode_argument(identifier)});
    };
    switch (row.shows) {
        case args::Shows::PatchTable: {
            // One call, whose error is the run's, unchanged.
            auto patches = list();
            if (!patches) {
                return tl::unexpected(std::move(patches.error()));
            }
            sink_.show(**patches);
            return {};
        }
        case args::Shows::BootSet: {
            auto patches = list();
            if (!patches) {
                return tl::unexpected(std::move(patches.error()));
            }
            auto view = keeper.view(**patches);
            if (!view) {
                return tl::unexpected(std::move(view.error()));
            }
            sink_.show(*view);
            return {};
        }
        case args::Shows::Nothing:
            return row.boot == args::Boot::Restores ? restore(command, keeper, audit)
                                                    : save(command, keeper, audit);
        case args::Shows::InfoBlocks:
            return for_each_identifier<PatchInfo>(
                identifiers, row.shows, sink_,
                [&](std::string_view id) { return call_with.template operator()<PatchInfo>(id); });
        case args::Shows::TargetBlocks:
            return for_each_identifier<PackageInfo>(
                identifiers, row.shows, sink_, [&](std::string_view id) {
                    return call_with.template operator()<PackageInfo>(id);
                });
        case args::Shows::StateLines: {
            // The patches whose change moves them in or out of what the next boot restores.
            std::vector<std::string> changed;
            auto result = for_each_identifier<StateRecords>(
                identifiers, row.shows, sink_,
                [&](std::string_view id) {
                    return call_with.template operator()<StateRecords>(id);
                },
                [&](const Outcome<StateRecords>& outcome) {
                    if (audit) {
                        audit->outcome(outcome.identifier, outcome.result);
                    }
                    for (const PatchStateRecord& state :
                         outcome.result ? **outcome.result : StateRecords{}) {
                        if (row.boot == args::Boot::Withdraws ||
                            state.status == PatchStatus::Accepted) {
                            changed.emplace_back(state.name);
                        }
                    }
                });
            if (row.boot == args::Boot::Withdraws) {
                keeper.withdrew(changed);
            } else if (row.boot == args::Boot::Accepts) {
                keeper.accepted(changed);
            }
            return result;
        }
        case args::Shows::CheckVerdict:
            return for_each_identifier<void>(
                identifiers, row.shows, sink_, [&](std::string_view id) {
                    return done(call_with.template operator()<Empty>(id));
                });
        case args::Shows::ToolOutput:
            break;
    }
    return {};
}

}  // namespace quvane::executor
