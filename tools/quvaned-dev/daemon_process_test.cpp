// quvaned-dev as a process: it serves quvane, refuses a second daemon on the same socket, and
// stops cleanly on SIGTERM, removing its socket.
#include <csignal>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/process.h"

namespace quvane::dev {
namespace {

// The development daemon on `work_dir`, once it listens.
testing::BackgroundProcess start_daemon(const std::filesystem::path& work_dir) {
    return testing::start_until_ready({QUVANED_DEV_BINARY, "-w", work_dir.string()}, 1,
                                      "listening on");
}

TEST(DevelopmentDaemon, ServesRefusesASecondAndStopsCleanly) {
    testing::TemporaryDirectory dir;
    const auto work_dir = dir.path() / "run";
    const auto started = start_daemon(work_dir);
    const pid_t daemon = started.pid;
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
    const auto stale = start_daemon(work_dir);
    ASSERT_GT(stale.pid, 0);
    ::kill(stale.pid, SIGKILL);
    ::waitpid(stale.pid, nullptr, 0);
    EXPECT_TRUE(std::filesystem::exists(work_dir / "quvaned.sock"));
    const auto restarted = start_daemon(work_dir);
    const pid_t again = restarted.pid;
    ASSERT_GT(again, 0);
    EXPECT_EQ(testing::run_quvane({"-w", work_dir.string(), "list"}).status, 0);
    ::kill(again, SIGINT);
    ::waitpid(again, &wait_status, 0);
    EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0);
}

}  // namespace
}  // namespace quvane::dev
