#include "patch.h"

#include <optional>

#include <fmt/format.h>

#include "operation_lock.h"
#include "os/user.h"
#include "patch_command.h"
#include "text_sink.h"

namespace quvane::executor {
namespace {

// "Operation failed", caused by the numbered messages of the failed calls; success when every
// call succeeded.
template <class T>
Result<> summary(const std::vector<Outcome<T>>& outcomes) {
    std::string text;
    std::size_t n = 0;
    for (const auto& outcome : outcomes) {
        if (!outcome.result) {
            fmt::format_to(std::back_inserter(text), "{}. {}\n\n", n++,
                           outcome.result.error().message());
        }
    }
    if (n == 0) {
        return {};
    }
    text.resize(text.size() - 2);
    return tl::unexpected(Error(std::move(text)).context("Operation failed"));
}

}  // namespace

template <class Command>
Result<> PatchCommandExecutor::run(const Command& command) {
    using Plan = PatchCommand<Command>;
    if constexpr (Plan::wait == WaitLine::BeforeLock) {
        // The notice comes first: the daemon may take long, and the lock may be held.
        sink_.notice(remove_wait_line);
    }
    std::optional<OperationLock> lock;
    if constexpr (Plan::lock == Locking::Exclusive) {
        auto held = OperationLock::acquire(lock_path_, true, lock_wait_);
        if (!held) {
            return tl::unexpected(std::move(held.error()));
        }
        lock.emplace(std::move(*held));
    }
    if constexpr (Plan::wait == WaitLine::AfterLock) {
        sink_.notice(restore_wait_line);
    }
    return call_and_show<Plan>(command);
}

template <class Plan, class Command>
Result<> PatchCommandExecutor::call_and_show(const Command& command) {
    constexpr args::Takes takes = Command::facts.takes;
    if constexpr (takes == args::Takes::AcceptedFlag) {
        return (proxy_.*Plan::call)(command.accepted);
    } else if constexpr (takes == args::Takes::Nothing) {
        // One call, whose error is the run's, unchanged.
        auto result = (proxy_.*Plan::call)();
        if (!result) {
            return tl::unexpected(std::move(result.error()));
        }
        if constexpr (!std::is_void_v<typename decltype(result)::value_type>) {
            sink_.show(*result);
        }
        return {};
    } else {
        // Every identifier is tried, past failures; what worked is shown before the summary
        // of what failed.
        using Value = typename decltype((proxy_.*Plan::call)(std::string_view()))::value_type;
        std::vector<Outcome<Value>> outcomes;
        outcomes.reserve(command.identifiers.size());
        for (const std::string& identifier : command.identifiers) {
            outcomes.push_back({identifier, (proxy_.*Plan::call)(identifier)});
        }
        sink_.show(outcomes);
        return summary(outcomes);
    }
}

// After the templates it instantiates, so that every compiler sees their definitions.
Result<> PatchCommandExecutor::invoke(const args::SubCommand& command) {
    if (std::holds_alternative<args::Build>(command.value)) {
        return {};
    }
    if (auto superuser = check_superuser(); !superuser) {
        return superuser;
    }
    return std::visit(
        [this](const auto& variant) -> Result<> {
            if constexpr (std::is_same_v<std::decay_t<decltype(variant)>, args::Build>) {
                return {};
            } else {
                return run(variant);
            }
        },
        command.value);
}

Result<> PatchCommandExecutor::check_superuser() const {
    return os::user::check_superuser();
}

}  // namespace quvane::executor
