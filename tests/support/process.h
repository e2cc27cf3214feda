// Runs a program as a child process and captures what it writes and how it ends.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "os/file_descriptor.h"

namespace quvane::testing {

struct ProcessResult {
    std::string out;
    std::string err;
    int status = -1;    // exit status, or 128 + signal number
    long peak_kib = 0;  // the largest resident set the process had
};

// Runs `argv` (argv[0] an absolute path) in `directory` (the current one when empty), with
// the environment of the tests and standard input from /dev/null.
ProcessResult run_process(const std::vector<std::string>& argv,
                          const std::filesystem::path& directory = {});

// Whether the binaries under test carry AddressSanitizer's runtime, which needs /proc and
// takes memory of its own.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool sanitized = true;
#elif defined(__has_feature)
inline constexpr bool sanitized = __has_feature(address_sanitizer);
#else
inline constexpr bool sanitized = false;
#endif

// The quvane binary under test.
std::string quvane_binary();

// The command line that runs quvane as the superuser (see run_quvane).
std::vector<std::string> quvane_command();

// Runs quvane with `args`, as the superuser (see superuser_prefix(); as it is when there is
// no way to be one, and the superuser check then fails the run).
ProcessResult run_quvane(const std::vector<std::string>& args,
                         const std::filesystem::path& directory = {});

// Runs quvane with `args` and its standard output and error on a pseudo-terminal; `out`
// holds what the terminal received, line ends as "\n".
ProcessResult run_quvane_on_terminal(const std::vector<std::string>& args);

// The command prefix that runs a program as the superuser: nothing when the tests run as
// root, `unshare -r` (a user namespace) otherwise; nullopt when neither is possible.
std::optional<std::vector<std::string>> superuser_prefix();

// Runs quvane with `args` as an ordinary user: 65534 when the tests run as root.
ProcessResult run_quvane_unprivileged(const std::vector<std::string>& args);

// Runs `cmake --install` or `cpack` on the build directory (`argv`), one at a time across test
// processes: both write the same staged files there.
ProcessResult run_installer(const std::vector<std::string>& argv);

// A program started in the background; the pipe of the stream it was watched on stays open,
// so that a later line does not break it (up to the pipe's capacity, more than a log needs).
struct BackgroundProcess {
    pid_t pid = -1;  // -1: it did not become ready, and has been stopped
    os::FileDescriptor stream;
};

// Starts `argv` (argv[0] an absolute path) with standard input and the other stream on
// /dev/null, and returns once it has written `ready` on `stream` (1 or 2), has ended, or has
// kept silent for 30 seconds.
BackgroundProcess start_until_ready(const std::vector<std::string>& argv, int stream,
                                    std::string_view ready);

// A fresh directory, removed with its contents at the end of the scope.
class TemporaryDirectory {
  public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace quvane::testing
