#include "patch.h"

#include <optional>

#include "log/logger.h"
#include "operation_lock.h"
#include "os/user.h"
#include "patch_command.h"
#include "patch_output.h"
#include "patch_text.h"

namespace quvane::executor {

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

template <class Command>
Result<> PatchCommandExecutor::run(const Command& command) {
    using Plan = PatchCommand<Command>;
    if constexpr (Plan::wait == WaitLine::BeforeLock) {
        // The notice comes first: the daemon may take long, and the lock may be held.
        output::write_line(output::remove_wait_line);
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
        output::write_line(output::restore_wait_line);
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
        if constexpr (Plan::shows == Shows::Table) {
            output::write_table(*result);
        }
        return {};
    } else {
        // Every identifier is tried, past failures; what worked is shown before the summary
        // of what failed.
        std::vector<Error> errors;
        std::vector<std::pair<std::string, std::string>> blocks;
        std::vector<PatchStateRecord> states;
        for (const std::string& identifier : command.identifiers) {
            auto result = (proxy_.*Plan::call)(identifier);
            if (!result) {
                errors.push_back(std::move(result.error()));
            } else if constexpr (Plan::shows == Shows::InfoBlocks) {
                blocks.emplace_back(identifier, to_text(*result, log::outside_text()));
            } else if constexpr (Plan::shows == Shows::States) {
                states.insert(states.end(), std::make_move_iterator(result->begin()),
                              std::make_move_iterator(result->end()));
            }
        }
        if constexpr (Plan::shows == Shows::InfoBlocks) {
            output::write_blocks(blocks);
        } else if constexpr (Plan::shows == Shows::States) {
            output::write_states(states);
        } else if constexpr (Plan::shows == Shows::ChecksPassed) {
            if (errors.empty()) {
                output::write_line(output::checks_passed);
            }
        }
        return output::summary(errors);
    }
}

}  // namespace quvane::executor
