#include "build.h"

#include <cerrno>
#include <cstdlib>

#include <fmt/format.h>
#include <spawn.h>
#include <sys/wait.h>

#include "main/logger.h"
#include "os/user.h"
#include "system_error.h"

extern char** environ;

namespace quvane::executor {
namespace {

Error start_failure(int errnum) {
    Error cause = errnum == ENOENT
                      ? Error(fmt::format("Command \"{}\" is not installed", BUILD_TOOL_NAME))
                      : system_error(errnum);
    return std::move(cause).context(fmt::format("Failed to start \"{}\" process", BUILD_TOOL_NAME));
}

}  // namespace

Result<int> run_tool(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    // What was written so far must reach the terminal before the tool writes there.
    log::flush();
    pid_t pid = 0;
    if (const int error = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
        error != 0) {
        return tl::unexpected(start_failure(error));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return tl::unexpected(start_failure(errno));
        }
    }
    if (!WIFEXITED(status)) {
        return fail("Failed to get process exit code");
    }
    return WEXITSTATUS(status);
}

Result<> BuildCommandExecutor::invoke(const args::SubCommand& command) {
    const auto* build = std::get_if<args::Build>(&command.value);
    if (build == nullptr) {
        return {};
    }
    auto exit_code = run_tool(std::string(BUILD_TOOL_PATH), build->args);
    if (!exit_code) {
        return tl::unexpected(std::move(exit_code.error()));
    }
    log::flush();
    std::exit(*exit_code);
}

Result<> BuildCommandExecutor::check_superuser() const { return os::user::check_superuser(); }

}  // namespace quvane::executor
