// The options for scripts and fleets: --timeout, --wait and --json, end to end.
#include <future>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "executor/operation_lock.h"
#include "support/process.h"
#include "support/stub_daemon.h"

namespace quvane {
namespace {

using ::testing::HasSubstr;
using testing::Reply;

TEST(FleetOptions, TimeoutEndsACallToASilentDaemonAndReleasesTheLock) {
    testing::TemporaryDirectory dir;
    testing::StubDaemon daemon(dir.path() / "quvaned.sock",
                               std::vector<Reply>{{Reply::Kind::Silent}, {Reply::Kind::Silent}});
    const auto result =
        testing::run_quvane({"-w", dir.path().string(), "--timeout", "0.2", "apply", "P1"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out,
              "Error: Operation failed\n\nCaused by:\n    0. Cannot connect to quvane "
              "daemon at unix://" +
                  (dir.path() / "quvaned.sock").string() +
                  ", the daemon did not answer within 0.2 seconds\n");
    EXPECT_TRUE(executor::OperationLock::acquire(dir.path() / "patch_op.lock", true).has_value());
}

TEST(FleetOptions, WaitTakesTheLockOnceItIsFreeOrSaysHowLongItWaited) {
    testing::TemporaryDirectory dir;
    testing::StubDaemon daemon(dir.path() / "quvaned.sock", [](const std::string& request) {
        return Reply::result(request, R"([{"name":"P1","status":"Actived"}])");
    });
    const auto lock_path = dir.path() / "patch_op.lock";
    auto held = std::make_optional(executor::OperationLock::acquire(lock_path, true));
    ASSERT_TRUE(held->has_value());

    const auto gave_up =
        testing::run_quvane({"-w", dir.path().string(), "--wait", "0.1", "apply", "P1"});
    EXPECT_EQ(gave_up.status, 1);
    EXPECT_THAT(gave_up.out, HasSubstr("Waited 0.1 seconds for another run to release the lock"));
    EXPECT_TRUE(daemon.requests().empty());

    auto waiting = std::async(std::launch::async, [&] {
        return testing::run_quvane({"-w", dir.path().string(), "--wait", "30", "apply", "P1"});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    held.reset();
    const auto waited = waiting.get();
    EXPECT_EQ(waited.status, 0);
    EXPECT_EQ(waited.out, "P1: ACTIVED\n");
}

}  // namespace
}  // namespace quvane
