#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quvane::testing {

namespace {

// Every quvane the tests start keeps its record of the boot set in a directory of this test
// process, never in the system's state directory.
const struct PrivateStateDirectory {
    std::string path = (std::filesystem::temp_directory_path() / "quvane-state-XXXXXX").string();
    PrivateStateDirectory() {
        if (::mkdtemp(path.data()) == nullptr) {
            throw std::runtime_error("cannot make a state directory for the tests");
        }
        ::setenv("QUVANE_STATE_DIR", path.c_str(), 1);
    }
    ~PrivateStateDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
} private_state_directory;

// Starts `argv` with `actions`, which it destroys; the posix_spawn error, or 0 and `pid` set.
int spawn(const std::vector<std::string>& argv, posix_spawn_file_actions_t& actions, pid_t& pid) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned;
}

}  // namespace

BackgroundProcess start_until_ready(const std::vector<std::string>& argv, int stream,
                                    std::string_view ready) {
    int ready_pipe[2];
    if (::pipe2(ready_pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 3 - stream, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ready_pipe[1], stream);
    pid_t pid = 0;
    const int spawned = spawn(argv, actions, pid);
    ::close(ready_pipe[1]);
    std::string written;
    pollfd fd{ready_pipe[0], POLLIN, 0};
    char buffer[4096];
    while (spawned == 0 && written.find(ready) == std::string::npos && ::poll(&fd, 1, 30'000) > 0) {
        const ssize_t n = ::read(ready_pipe[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        written.append(buffer, static_cast<std::size_t>(n));
    }
    BackgroundProcess started{pid, os::FileDescriptor(ready_pipe[0])};
    if (spawned == 0 && written.find(ready) == std::string::npos) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    if (spawned != 0 || written.find(ready) == std::string::npos) {
        started.pid = -1;
    }
    return started;
}

ProcessResult run_process(const std::vector<std::string>& argv,
                          const std::filesystem::path& directory) {
    int out_pipe[2];
    int err_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
        ::close(out_pipe[0]);
        ::close(out_pipe[1]);
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    if (!directory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    }
    pid_t pid = 0;
    const int spawned = spawn(argv, actions, pid);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    if (spawned != 0) {
        ::close(out_pipe[0]);
        ::close(err_pipe[0]);
        throw std::runtime_error("cannot start " + argv[0]);
    }

    ProcessResult result;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_pipes = 2;
    char buffer[65536];
    while (open_pipes > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.peak_kib = usage.ru_maxrss;
    return result;
}

std::string quvane_binary() {
    return QUVANE_BINARY;
}

std::vector<std::string> quvane_command() {
    std::vector<std::string> argv = superuser_prefix().value_or(std::vector<std::string>{});
    argv.push_back(quvane_binary());
    return argv;
}

ProcessResult run_quvane(const std::vector<std::string>& args,
                         const std::filesystem::path& directory) {
    std::vector<std::string> argv = quvane_command();
    argv.insert(argv.end(), args.begin(), args.end());
    return run_process(argv, directory);
}

ProcessResult run_quvane_on_terminal(const std::vector<std::string>& args) {
    std::vector<std::string> argv = quvane_command();
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid < 0) {
        throw std::runtime_error("forkpty failed");
    }
    if (pid == 0) {
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    ProcessResult result;
    char buffer[4096];
    ssize_t n = 0;
    // The terminal reports EIO once the last writer has gone.
    while ((n = ::read(terminal, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\r') {
                result.out.push_back(buffer[i]);
            }
        }
    }
    ::close(terminal);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::optional<std::vector<std::string>> superuser_prefix() {
    if (::geteuid() == 0) {
        return std::vector<std::string>{};
    }
    static const bool user_namespaces =
        run_process({"/usr/bin/unshare", "-r", "/bin/true"}).status == 0;
    if (user_namespaces) {
        return std::vector<std::string>{"/usr/bin/unshare", "-r"};
    }
    return std::nullopt;
}

ProcessResult run_quvane_unprivileged(const std::vector<std::string>& args) {
    std::vector<std::string> argv{quvane_binary()};
    if (::geteuid() == 0) {
        argv.insert(argv.begin(),
                    {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    argv.insert(argv.end(), args.begin(), args.end());
    return run_process(argv);
}

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace quvane::testing

namespace quvane::testing {

ProcessResult run_installer(const std::vector<std::string>& argv) {
    const std::string lock_path = std::string(BINARY_DIR) + "/install-test.lock";
    const int lock = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock >= 0) {
        ::flock(lock, LOCK_EX);
    }
    ProcessResult result = run_process(argv);
    if (lock >= 0) {
        ::close(lock);
    }
    return result;
}

}  // namespace quvane::testing
