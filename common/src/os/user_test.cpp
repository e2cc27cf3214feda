#include "os/user.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

namespace quvane::os::user {
namespace {

TEST(CurrentUser, LooksUpOnceEvenUnderConcurrentFirstCalls) {
    std::atomic<int> lookups{0};
    CurrentUser user([&](uid_t uid) -> LookupResult {
        ++lookups;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return static_cast<std::uint32_t>(uid) + 1000;
    });
    std::vector<std::thread> threads;
    std::vector<LookupResult> answers(8);
    for (std::size_t i = 0; i < answers.size(); ++i) {
        threads.emplace_back([&, i] { answers[i] = user.uid(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(user.uid(), getuid() + 1000);
    EXPECT_EQ(lookups.load(), 1);
    for (const auto& answer : answers) {
        EXPECT_EQ(answer, getuid() + 1000);
    }
}

TEST(CurrentUser, RealLookupFindsTheRunningUser) {
    EXPECT_EQ(lookup_user_id(getuid()), getuid());
    EXPECT_EQ(current_uid(), getuid());
    EXPECT_EQ(current_uid(), getuid());
    // An id that no database entry has.
    const auto missing = lookup_user_id(4'000'000'000u);
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().kind, LookupFailure::Kind::NoEntry);
}

TEST(CurrentUser, SuperuserCheckCarriesTheExactMessage) {
    const auto checked = check_superuser();
    if (getuid() == 0) {
        EXPECT_TRUE(checked.has_value());
    } else {
        ASSERT_FALSE(checked.has_value());
        EXPECT_EQ(checked.error().message(),
                  "This command has to be run with superuser privileges (under the root user on "
                  "most systems).");
        EXPECT_TRUE(checked.error().causes().empty());
    }
}

}  // namespace
}  // namespace quvane::os::user
