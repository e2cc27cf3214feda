// The system log's records of changes, captured on a /dev/log of the test's own in a private
// mount namespace.
#include <chrono>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <simdjson.h>

#include "support/end_to_end.h"

namespace quvane {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using testing::Reply;
using ::testing::StartsWith;

struct Captured {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> records;
};

class AuditRecords : public testing::EndToEnd {
  protected:
    void SetUp() override {
        if (testing::run_process({"/usr/bin/unshare", "-rm", "/bin/true"}).status != 0) {
            GTEST_SKIP() << "no private mount namespace here (unshare -rm), so no /dev/log of "
                            "the test's own";
        }
    }

    // Runs quvane with `args` (as sudo would, for `sudo_user`) and captures what it logs, the
    // log stalled as `log_stalls` asks (see capture_syslog.py).
    Captured capture(std::vector<std::string> args, std::vector<std::string> log_stalls = {},
                     const std::string& sudo_user = "alice") {
        testing::TemporaryDirectory scratch;
        std::vector<std::string> command{
            "/usr/bin/unshare", "-rm",
            "/usr/bin/env",     "SUDO_USER=" + sudo_user,
            "python3",          QUVANE_SOURCE_DIR "/tests/support/capture_syslog.py"};
        command.insert(command.end(), log_stalls.begin(), log_stalls.end());
        // A run that hangs on the log ends here instead of holding up the suite.
        command.insert(command.end(), {scratch.path().string(), "/usr/bin/timeout", "20",
                                       testing::quvane_binary(), "-w", dir.path().string()});
        command.insert(command.end(), args.begin(), args.end());
        const auto result = testing::run_process(command);
        simdjson::dom::parser parser;
        simdjson::dom::element document;
        EXPECT_EQ(parser.parse(simdjson::padded_string(result.out)).get(document),
                  simdjson::SUCCESS)
            << result.out << result.err;
        Captured captured;
        captured.status = static_cast<int>(int64_t(document["status"]));
        captured.out = std::string(std::string_view(document["out"]));
        captured.err = std::string(std::string_view(document["err"]));
        for (const auto record : simdjson::dom::array(document["records"])) {
            // What follows "<priority>date quvane[pid]: ".
            const std::string text{std::string_view(record)};
            EXPECT_THAT(text, StartsWith("<85>")) << text;  // authpriv, notice
            captured.records.push_back(text.substr(text.find("]: ") + 3));
        }
        return captured;
    }
};

TEST_F(AuditRecords, EachChangeIsRecordedWithWhoAndTheOutcomeAndNothingElseChanges) {
    const auto applied = capture({"apply", "CVE-2024-1086", "bad\x1b[2J"});
    EXPECT_EQ(applied.status, 1);
    EXPECT_EQ(applied.out,
              "CVE-2024-1086: ACTIVED\nError: Operation failed\n\nCaused by:\n    0. Cannot find "
              "patch \"bad\x1b[2J\"\n");
    EXPECT_EQ(applied.err, "");
    EXPECT_THAT(
        applied.records,
        ElementsAre("uid=0 sudo_user=\"alice\" subcommand=apply identifier=\"CVE-2024-1086\" "
                    "outcome=done patch=\"CVE-2024-1086\" status=ACTIVED",
                    "uid=0 sudo_user=\"alice\" subcommand=apply identifier=\"bad\\x1b[2J\" "
                    "outcome=error error=\"Cannot find patch \\\"bad\\x1b[2J\\\"\""));

    EXPECT_THAT(
        capture({"save"}).records,
        ElementsAre("uid=0 sudo_user=\"alice\" subcommand=save outcome=done boot_set=\"\""));
    // A run refused before it reached the daemon leaves a record too.
    hold_lock();
    EXPECT_THAT(capture({"accept", "CVE-2024-1086"}).records,
                ElementsAre("uid=0 sudo_user=\"alice\" subcommand=accept outcome=refused "
                            "error=\"Failed to acquire flock for fd 3\""));
    release_lock();
    // What changes nothing leaves nothing.
    EXPECT_THAT(capture({"status", "CVE-2024-1086"}).records, ::testing::IsEmpty());
    EXPECT_THAT(capture({"check", "CVE-2023-5678"}).records, ::testing::IsEmpty());
}

}  // namespace
}  // namespace quvane

namespace quvane {
namespace {

TEST_F(AuditRecords, DeliveryNeverHoldsUpTheRunAndNoRecordIsLostForItsSize) {
    // A log whose queue is full and never read: both changes are made and reported, the
    // undelivered records are named once.
    const auto stalled = capture({"apply", "CVE-2024-1086", "CVE-2023-4911"}, {"--stalled"});
    EXPECT_EQ(stalled.status, 0);
    EXPECT_EQ(stalled.out, "CVE-2024-1086: ACTIVED\nCVE-2023-4911: ACTIVED\n");
    EXPECT_EQ(stalled.err,
              "quvane: an audit record could not be written to the system log at /dev/log: "
              "Resource temporarily unavailable (os error 11)\n");

    // A daemon's message far above a datagram's size: the record is cut, marked, and sent;
    // bytes that are not UTF-8 are escaped like any text from outside.
    const std::string huge(120000, '"');
    const auto cut = capture({"apply", huge}, {}, "al\xffice");
    ASSERT_EQ(cut.records.size(), 1U) << cut.err;
    EXPECT_LT(cut.records[0].size(), 2048U);
    EXPECT_THAT(cut.records[0], StartsWith("uid=0 sudo_user=\"al\\xffice\" subcommand=apply "
                                           "identifier=\"\\\"\\\""));
    EXPECT_THAT(cut.records[0], EndsWith("...\" cut=yes"));

    // A slow call leaves the record after it its own patience: a log that catches up just
    // after the call takes it.
    fault("apply_patch", [](const std::string& request) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return Reply::result(request, R"([{"name":"P1","status":"Actived"}])");
    });
    const auto slow = capture({"apply", "P1"}, {"--drained-after", "1.15"});
    EXPECT_EQ(slow.err, "");
    EXPECT_THAT(slow.records, ElementsAre(HasSubstr("identifier=\"P1\" outcome=done")));
}

}  // namespace
}  // namespace quvane
