#include "build.h"

#include <cerrno>
#include <cstdlib>

#include <fmt/format.h>
#include <spawn.h>
#include <sys/wait.h>
#include <csignal>

#include "log/logger.h"
#include "os/interruption.h"
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

// Ignores a signal for the life of the object, then restores what was there before.
class IgnoredWhileWaiting {
  public:
    explicit IgnoredWhileWaiting(int signal) : signal_(signal) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(signal_, &ignore, &previous_);
    }
    ~IgnoredWhileWaiting() { ::sigaction(signal_, &previous_, nullptr); }
    IgnoredWhileWaiting(const IgnoredWhileWaiting&) = delete;
    IgnoredWhileWaiting& operator=(const IgnoredWhileWaiting&) = delete;

  private:
    int signal_;
    struct sigaction previous_ {};
};

// Spawn attributes that start the tool with the default action for the signals this process
// ignores: an ignored signal stays ignored across exec, and a tool with SIGPIPE ignored
// behaves differently in its own pipelines.
class DefaultSignals {
  public:
    DefaultSignals() {
        posix_spawnattr_init(&attributes_);
        sigset_t signals;
        sigemptyset(&signals);
        for (const int signal : {SIGPIPE, SIGINT, SIGQUIT}) {
            sigaddset(&signals, signal);
        }
        posix_spawnattr_setsigdefault(&attributes_, &signals);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF);
    }
    ~DefaultSignals() { posix_spawnattr_destroy(&attributes_); }
    DefaultSignals(const DefaultSignals&) = delete;
    DefaultSignals& operator=(const DefaultSignals&) = delete;

    const posix_spawnattr_t* get() const { return &attributes_; }

  private:
    posix_spawnattr_t attributes_;
};

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
    // Like system(): while the tool runs, Ctrl-C and Ctrl-\ are the tool's to handle, and this
    // process stays to report how it ended.
    const IgnoredWhileWaiting interrupt(SIGINT);
    const IgnoredWhileWaiting quit(SIGQUIT);
    const DefaultSignals default_signals;
    pid_t pid = 0;
    if (const int error = ::posix_spawn(&pid, program.c_str(), nullptr, default_signals.get(),
                                        argv.data(), environ);
        error != 0) {
        return tl::unexpected(start_failure(error));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        // The one other failure, ECHILD, means the child is gone already: nothing is left to
        // reap.
        if (errno != EINTR) {
            return tl::unexpected(start_failure(errno));
        }
    }
    if (!WIFEXITED(status)) {
        // Ctrl-C or Ctrl-\ reached the tool and this process alike; once the report is out,
        // this process ends by it too, so that a script running it stops.
        if (WIFSIGNALED(status) && (WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGQUIT)) {
            os::note_interruption(WTERMSIG(status));
        }
        return fail("Failed to get process exit code");
    }
    return WEXITSTATUS(status);
}

Result<> BuildCommandExecutor::invoke(const args::SubCommand& command) {
    if (command.row().takes != args::Takes::ToolArguments) {
        return {};
    }
    auto exit_code = run_tool(std::string(BUILD_TOOL_PATH), command.tool_arguments());
    if (!exit_code) {
        return tl::unexpected(std::move(exit_code.error()));
    }
    exit_status_ = *exit_code;
    return {};
}

}  // namespace quvane::executor
