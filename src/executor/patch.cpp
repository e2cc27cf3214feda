#include "patch.h"

#include <optional>

#include <fmt/format.h>

#include "audit_record.h"
#include "operation_lock.h"
#include "os/interruption.h"
#include "os/user.h"
#include "trusted_directory.h"

namespace quvane::executor {
namespace {

using args::DaemonCall;

// How the patch service answers a restore when nothing was ever saved: an error object with
// this message, whatever its code. `restore --if-saved` relies on it (the manual page says so).
constexpr std::string_view nothing_saved_message = "No saved patch status to restore";

// "Operation failed", caused by the numbered messages of the failed calls; success when every
// call succeeded. A call that ran out of the time limit is named, since its message does not
// say which it was.
template <class T>
Result<> summary(const std::vector<Outcome<T>>& outcomes) {
    std::vector<std::string> failures;
    for (const auto& [identifier, result] : outcomes) {
        if (!result) {
            failures.push_back(result.error().is_timeout()
                                   ? fmt::format("{}: {}", identifier, result.error().message())
                                   : result.error().message());
        }
    }
    if (failures.empty()) {
        return {};
    }
    return tl::unexpected(Error::listing("Operation failed", std::move(failures)));
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

// The operations whose result is the patch's state records.
Result<Answer<StateRecords>> state_call(rpc::PatchProxy& proxy, DaemonCall call,
                                        std::string_view identifier) {
    switch (call) {
        case DaemonCall::GetPatchStatus:
            return proxy.get_patch_status(identifier);
        case DaemonCall::ApplyPatch:
            return proxy.apply_patch(identifier);
        case DaemonCall::RemovePatch:
            return proxy.remove_patch(identifier);
        case DaemonCall::ActivePatch:
            return proxy.active_patch(identifier);
        case DaemonCall::DeactivePatch:
            return proxy.deactive_patch(identifier);
        case DaemonCall::AcceptPatch:
            return proxy.accept_patch(identifier);
        default:
            return fail("This daemon call has no state records");
    }
}

}  // namespace

Result<> PatchCommandExecutor::invoke(const args::SubCommand& command) {
    const args::SubcommandRow& row = command.row();
    if (row.call == DaemonCall::None) {
        return {};
    }
    if (auto superuser = check_superuser(); !superuser) {
        return superuser;
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
            return trusted;
        }
        auto held = OperationLock::acquire(*work_dir_, lock_name_, true, lock_wait_, [&] {
            sink_.lock_busy(work_dir_->path() / lock_name_, lock_wait_);
        });
        if (!held) {
            return tl::unexpected(std::move(held.error()));
        }
        lock.emplace(std::move(*held));
    }
    if (row.wait == args::WaitLine::AfterLock) {
        sink_.notice(row.wait);
    }
    return call_and_show(command);
}

Result<> PatchCommandExecutor::call_and_show(const args::SubCommand& command) {
    const args::SubcommandRow& row = command.row();
    static const std::vector<std::string> none;
    const std::vector<std::string>& identifiers =
        command.identifiers() != nullptr ? *command.identifiers() : none;
    std::optional<AuditRecords> audit;
    if (row.audit == args::Audit::Recorded) {
        audit.emplace(row.word);
    }
    switch (row.shows) {
        case args::Shows::PatchTable: {
            // One call, whose error is the run's, unchanged.
            auto patches = unless_interrupted(proxy_.get_patch_list());
            if (!patches) {
                return tl::unexpected(std::move(patches.error()));
            }
            sink_.show(**patches);
            return {};
        }
        case args::Shows::Nothing: {
            const auto* restore = std::get_if<args::Restore>(&command.value);
            if (restore == nullptr) {
                auto done = unless_interrupted(proxy_.save_patch_status());
                if (audit) {
                    audit->outcome(done);
                }
                return done;
            }
            sink_.restoring(restore->accepted);
            auto done = unless_interrupted(proxy_.restore_patch_status(restore->accepted));
            std::string details = restore->accepted ? " accepted=yes" : " accepted=no";
            if (!done && restore->if_saved && done.error().message() == nothing_saved_message) {
                // A host where nothing was ever saved boots like any other.
                done = {};
                details += " nothing_saved=yes";
                sink_.nothing_saved();
            }
            if (audit) {
                audit->outcome(done, details);
            }
            return done;
        }
        case args::Shows::InfoBlocks:
            return for_each_identifier<PatchInfo>(
                identifiers, row.shows, sink_,
                [this](std::string_view identifier) { return proxy_.get_patch_info(identifier); });
        case args::Shows::TargetBlocks:
            return for_each_identifier<PackageInfo>(identifiers, row.shows, sink_,
                                                    [this](std::string_view identifier) {
                                                        return proxy_.get_patch_target(identifier);
                                                    });
        case args::Shows::StateLines:
            return for_each_identifier<StateRecords>(
                identifiers, row.shows, sink_,
                [&](std::string_view identifier) {
                    return state_call(proxy_, row.call, identifier);
                },
                [&](const Outcome<StateRecords>& done) {
                    if (audit) {
                        audit->outcome(done.identifier, done.result);
                    }
                });
        case args::Shows::CheckVerdict:
            return for_each_identifier<void>(
                identifiers, row.shows, sink_,
                [this](std::string_view identifier) { return proxy_.check_patch(identifier); });
        case args::Shows::ToolOutput:
            break;
    }
    return {};
}

Result<> PatchCommandExecutor::check_superuser() const {
    return os::user::check_superuser();
}

}  // namespace quvane::executor
