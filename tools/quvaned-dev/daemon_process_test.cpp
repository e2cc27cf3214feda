// quvaned-dev as a process: it serves quvane, refuses a second daemon on the same socket, and
// stops cleanly on SIGTERM, removing its socket.
#include <fcntl.h>

#include <csignal>
#include <cstring>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "os/unix_socket.h"
#include "support/process.h"

extern char** environ;

namespace quvane::dev {
namespace {

// Whether something accepts connections on `socket`.
bool answers(const std::filesystem::path& socket) {
    return quvane::os::connect_unix(socket).has_value();
}

pid_t start_daemon(const std::filesystem::path& work_dir) {
    std::vector<std::string> args{QUVANED_DEV_BINARY, "-w", work_dir.string()};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 200 && !answers(work_dir / "quvaned.sock"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pid;
}

TEST(DevelopmentDaemon, ServesRefusesASecondAndStopsCleanly) {
    testing::TemporaryDirectory dir;
    const auto work_dir = dir.path() / "run";
    const pid_t daemon = start_daemon(work_dir);
    ASSERT_GT(daemon, 0);
    ASSERT_TRUE(std::filesystem::exists(work_dir / "quvaned.sock"));

    const auto status = testing::run_quvane({"-w", work_dir.string(), "status", "CVE-2023-4911"});
    EXPECT_EQ(status.out, "CVE-2023-4911: NOT-APPLIED\n");

    const auto second = testing::run_process({QUVANED_DEV_BINARY, "-w", work_dir.string()});
    EXPECT_EQ(second.status, 1);
    EXPECT_THAT(second.err, ::testing::HasSubstr("another daemon answers"));

    ::kill(daemon, SIGTERM);
    int wait_status = 0;
    ::waitpid(daemon, &wait_status, 0);
    EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0);
    EXPECT_FALSE(std::filesystem::exists(work_dir / "quvaned.sock"));

    // A stale socket file left by a daemon that died is replaced.
    const auto stale =
        testing::run_process({"/bin/sh", "-c",
                              std::string(QUVANED_DEV_BINARY) + " -w " + work_dir.string() +
                                  " >/dev/null & pid=$!; sleep 0.3; kill -9 $pid; wait $pid"});
    EXPECT_EQ(stale.status, 128 + SIGKILL);
    EXPECT_TRUE(std::filesystem::exists(work_dir / "quvaned.sock"));
    const pid_t again = start_daemon(work_dir);
    EXPECT_EQ(testing::run_quvane({"-w", work_dir.string(), "list"}).status, 0);
    ::kill(again, SIGINT);
    ::waitpid(again, &wait_status, 0);
    EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0);
}

}  // namespace
}  // namespace quvane::dev
