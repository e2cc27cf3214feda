// What the next boot restores, over a host's life: hand commands and reboots (the daemon
// restarted empty) never lose an accepted patch silently, and never refuse a deliberate
// removal; a record that cannot be kept or read never changes what a save does unasked.
#include <algorithm>
#include <cstdlib>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "executor/boot_set/store.h"
#include "support/end_to_end.h"
#include "support/process.h"

namespace quvane {
namespace {

using ::testing::HasSubstr;

using BootSet = testing::EndToEnd;

TEST_F(BootSet, HandCommandsAndRebootsNeverLoseAnAcceptedPatchSilently) {
    const struct {
        bool reboot;  // the daemon restarted empty before the run, the boot unit not run
        std::vector<std::string> args;
        int status;
        std::string shows;  // in standard output
    } steps[] = {
        {false, {"apply", "CVE-2023-4911"}, 0, "ACTIVED"},
        {false, {"--json", "accept", "CVE-2023-4911"}, 0, R"("unsaved":["CVE-2023-4911"])"},
        {false,
         {"--json", "save"},
         0,
         R"({"boot_set":[{"uuid":"8d17b5a2-2c90-4e3f-b6a1-5f0e9d3c4b21","name":"CVE-2023-4911"}]})"},
        {false, {"--json", "remove", "CVE-2023-4911"}, 0, R"("returns_at_boot":["CVE-2023-4911"])"},
        {false, {"boot"}, 0, "'quvane save' now would drop CVE-2023-4911."},
        // A deliberate removal and save passes, and stays removed across a reboot.
        {false, {"save"}, 0, ""},
        {true, {"boot"}, 0, "The next boot restores no patch."},
        {false, {"apply", "CVE-2024-1086"}, 0, "ACTIVED"},
        {false, {"accept", "CVE-2024-1086"}, 0, "ACCEPTED"},
        {false, {"save"}, 0, ""},
        // A reboot whose restore did not run: the save that would drop it is refused.
        {true, {"save"}, 1, "Refusing to save: it would drop CVE-2024-1086"},
        {false, {"--json", "save"}, 1, R"("kind":"boot-set")"},
        {false,
         {"--json", "boot"},
         0,
         R"("name":"CVE-2024-1086","status":"NOT-APPLIED","next_boot":true,"boot":"missed")"},
        {false,
         {"--json", "restore", "--accepted"},
         0,
         R"("restored":["CVE-2024-1086"],"not_restored":[])"},
        {false, {"save"}, 0, ""},
        // Or saved without it, on purpose.
        {true, {"save", "--force"}, 0, ""},
        {false, {"boot"}, 0, "The next boot restores no patch."},
    };
    for (const auto& step : steps) {
        if (step.reboot) {
            restart_daemon();
        }
        const auto saves = [&] { return std::ranges::count(methods(), "save_patch_status"); };
        const auto saved_before = saves();
        const auto result = run(step.args);
        const std::string shown = step.args.back() + " " + result.out + result.err;
        EXPECT_EQ(result.status, step.status) << shown;
        EXPECT_THAT(result.out, HasSubstr(step.shows)) << shown;
        if (std::ranges::find(step.args, "save") != step.args.end()) {
            EXPECT_EQ(saves() - saved_before, step.status == 0 ? 1 : 0) << shown;
        }
    }
}

TEST_F(BootSet, ARecordThatCannotBeKeptOrReadNeverChangesASaveUnasked) {
    ASSERT_EQ(run({"apply", "CVE-2023-4911"}).status, 0);
    ASSERT_EQ(run({"accept", "CVE-2023-4911"}).status, 0);
    const std::string own_state = std::getenv("QUVANE_STATE_DIR");

    // No place for a record (a read-only host, say): the save the daemon makes, as ever, and
    // the missing record named where a script reads.
    const auto nowhere = dir.path() / "a-file";
    std::ofstream(nowhere) << "";
    ::setenv("QUVANE_STATE_DIR", nowhere.c_str(), 1);
    const auto plain = run({"save"});
    const auto json = run({"--json", "save"});
    ::setenv("QUVANE_STATE_DIR", own_state.c_str(), 1);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out + plain.err, "");
    EXPECT_EQ(json.out,
              "{\"boot_record_error\":\"No record of what the next boot restores can "
              "be kept in " +
                  nowhere.string() + ": Not a directory (os error 20)\"}\n");

    // Another spelling of the work directory finds the same record.
    ASSERT_EQ(run({"save"}).status, 0);
    const auto link = dir.path().parent_path() / (dir.path().filename().string() + "-link");
    std::filesystem::create_directory_symlink(dir.path(), link);
    const auto through_link = testing::run_quvane({"-w", link.string() + "/", "boot"});
    std::filesystem::remove(link);
    EXPECT_THAT(through_link.out, HasSubstr("The next boot restores CVE-2023-4911."));

    // A damaged record is refused with what to do, never taken for an empty one.
    const auto record =
        std::filesystem::path(own_state) /
        executor::boot_set::record_name(std::filesystem::canonical(dir.path()).string());
    ASSERT_TRUE(std::filesystem::exists(record));
    std::ofstream(record) << "{\"version\":1,\"saved\":[";
    const auto refused = run({"save"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.out, HasSubstr("cannot be used: it is damaged"));
    EXPECT_THAT(refused.out, HasSubstr("'quvane save --force'"));
    EXPECT_EQ(run({"boot"}).status, 1);
    EXPECT_EQ(run({"save", "--force"}).status, 0);
    EXPECT_THAT(run({"boot"}).out, HasSubstr("The next boot restores CVE-2023-4911."));
}

}  // namespace
}  // namespace quvane
