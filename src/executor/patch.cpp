#include "patch.h"

#include "log/logger.h"
#include "os/user.h"
#include "patch_output.h"
#include "patch_text.h"

namespace quvane::executor {
namespace {

// Calls `call` for every identifier, in order, past failures: successful results go to
// `store`, failures are collected.
template <class Call, class Store>
std::vector<Error> for_each_identifier(const std::vector<std::string>& identifiers, Call call,
                                       Store store) {
    std::vector<Error> errors;
    for (const std::string& identifier : identifiers) {
        auto result = call(identifier);
        if (!result) {
            errors.push_back(std::move(result.error()));
        } else if constexpr (!std::is_void_v<typename decltype(result)::value_type>) {
            store(identifier, std::move(*result));
        }
    }
    return errors;
}

template <class Call>
Result<> state_change(const std::vector<std::string>& identifiers, Call call) {
    std::vector<PatchStateRecord> states;
    const auto errors =
        for_each_identifier(identifiers, call, [&](const std::string&, auto records) {
            states.insert(states.end(), std::make_move_iterator(records.begin()),
                          std::make_move_iterator(records.end()));
        });
    output::write_states(states);
    return output::summary(errors);
}

template <class Call>
Result<> blocks(const std::vector<std::string>& identifiers, Call call) {
    std::vector<std::pair<std::string, std::string>> texts;
    const auto errors = for_each_identifier(
        identifiers, call, [&](const std::string& identifier, const auto& record) {
            texts.emplace_back(identifier, to_text(record, log::outside_text()));
        });
    output::write_blocks(texts);
    return output::summary(errors);
}

// Runs `work` while holding the operation lock; the lock's error is returned unchanged.
template <class Work>
Result<> under_lock(const std::filesystem::path& lock_path, Work work) {
    auto held = OperationLock::acquire(lock_path, true);
    if (!held) {
        return tl::unexpected(std::move(held.error()));
    }
    return work();
}

}  // namespace

Result<> PatchCommandExecutor::invoke(const args::SubCommand& command) {
    if (std::holds_alternative<args::Build>(command.value)) {
        return {};
    }
    if (auto superuser = check_superuser(); !superuser) {
        return superuser;
    }
    return std::visit([this](const auto& variant) { return run(variant); }, command.value);
}

Result<> PatchCommandExecutor::check_superuser() const {
    return os::user::check_superuser();
}

Result<> PatchCommandExecutor::run(const args::Build&) {
    return {};
}

Result<> PatchCommandExecutor::run(const args::Info& command) {
    return blocks(command.identifiers,
                  [&](const std::string& id) { return proxy_.get_patch_info(id); });
}

Result<> PatchCommandExecutor::run(const args::Target& command) {
    return blocks(command.identifiers,
                  [&](const std::string& id) { return proxy_.get_patch_target(id); });
}

Result<> PatchCommandExecutor::run(const args::Status& command) {
    return state_change(command.identifiers,
                        [&](const std::string& id) { return proxy_.get_patch_status(id); });
}

Result<> PatchCommandExecutor::run(const args::List&) {
    auto records = proxy_.get_patch_list();
    if (!records) {
        return tl::unexpected(std::move(records.error()));
    }
    output::write_table(*records);
    return {};
}

Result<> PatchCommandExecutor::run(const args::Check& command) {
    return under_lock(lock_path_, [&]() -> Result<> {
        const auto errors = for_each_identifier(
            command.identifiers, [&](const std::string& id) { return proxy_.check_patch(id); },
            [](const std::string&) {});
        if (errors.empty()) {
            output::write_line(output::checks_passed);
        }
        return output::summary(errors);
    });
}

Result<> PatchCommandExecutor::run(const args::Apply& command) {
    return under_lock(lock_path_, [&]() -> Result<> {
        return state_change(command.identifiers,
                            [&](const std::string& id) { return proxy_.apply_patch(id); });
    });
}

Result<> PatchCommandExecutor::run(const args::Remove& command) {
    // The notice comes first: removing may take the daemon a long time.
    output::write_line(output::remove_wait_line);
    return under_lock(lock_path_, [&]() -> Result<> {
        return state_change(command.identifiers,
                            [&](const std::string& id) { return proxy_.remove_patch(id); });
    });
}

Result<> PatchCommandExecutor::run(const args::Active& command) {
    return under_lock(lock_path_, [&]() -> Result<> {
        return state_change(command.identifiers,
                            [&](const std::string& id) { return proxy_.active_patch(id); });
    });
}

Result<> PatchCommandExecutor::run(const args::Deactive& command) {
    return under_lock(lock_path_, [&]() -> Result<> {
        return state_change(command.identifiers,
                            [&](const std::string& id) { return proxy_.deactive_patch(id); });
    });
}

Result<> PatchCommandExecutor::run(const args::Accept& command) {
    return under_lock(lock_path_, [&]() -> Result<> {
        return state_change(command.identifiers,
                            [&](const std::string& id) { return proxy_.accept_patch(id); });
    });
}

Result<> PatchCommandExecutor::run(const args::Save&) {
    return under_lock(lock_path_, [&]() -> Result<> { return proxy_.save_patch_status(); });
}

Result<> PatchCommandExecutor::run(const args::Restore& command) {
    return under_lock(lock_path_, [&]() -> Result<> {
        output::write_line(output::restore_wait_line);
        return proxy_.restore_patch_status(command.accepted);
    });
}

}  // namespace quvane::executor
