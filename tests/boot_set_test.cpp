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
    enum Before { Nothing, Reboot, KillSwitchBoot, LostAnswer };
    const struct {
        Before before;  // a reboot: the daemon restarted empty, the boot unit not run
        std::vector<std::string> args;
        int status;
        std::string shows;  // in standard output
    } steps[] = {
        {Nothing, {"apply", "CVE-2023-4911"}, 0, "ACTIVED"},
        {Nothing, {"--json", "accept", "CVE-2023-4911"}, 0, R"("unsaved":["CVE-2023-4911"])"},
        {Nothing,
         {"--json", "save"},
         0,
         R"({"boot_set":[{"uuid":"8d17b5a2-2c90-4e3f-b6a1-5f0e9d3c4b21","name":"CVE-2023-4911"}]})"},
        {Nothing, {"--json", "remove", "CVE-2023-4911"}, 0, R"("withdrawn":["CVE-2023-4911"])"},
        {Nothing, {"boot"}, 0, "'quvane save' now would drop CVE-2023-4911."},
        // A deliberate removal and save passes, and stays removed across a reboot.
        {Nothing, {"save"}, 0, ""},
        {Reboot, {"boot"}, 0, "The next boot restores no patch."},
        {Nothing, {"apply", "CVE-2024-1086"}, 0, "ACTIVED"},
        {Nothing, {"accept", "CVE-2024-1086"}, 0, "ACCEPTED"},
        {Nothing, {"save"}, 0, ""},
        // A reboot whose restore did not run: the save that would drop it is refused.
        {Reboot, {"save"}, 1, "Refusing to save: it would drop CVE-2024-1086"},
        {Nothing, {"--json", "save"}, 1, R"("kind":"boot-set")"},
        {Nothing,
         {"--json", "boot"},
         0,
         R"("name":"CVE-2024-1086","status":"NOT-APPLIED","next_boot":true,"boot":"missed")"},
        {Nothing,
         {"--json", "restore", "--accepted"},
         0,
         R"("restored":["CVE-2024-1086"],"not_restored":[])"},
        {Nothing, {"save"}, 0, ""},
        // Or saved without it, on purpose.
        {Reboot, {"save", "--force"}, 0, ""},
        {Nothing, {"boot"}, 0, "The next boot restores no patch."},
        // A removal whose answer is lost is no missed restore.
        {Nothing, {"apply", "CVE-2024-1086"}, 0, "ACTIVED"},
        {Nothing, {"accept", "CVE-2024-1086"}, 0, "ACCEPTED"},
        {Nothing, {"save"}, 0, ""},
        {LostAnswer, {"remove", "CVE-2024-1086"}, 1, ""},
        {Nothing, {"boot"}, 0, "left out (withdrawn, not saved)"},
        {Nothing, {"save"}, 0, ""},
        // A patch that took the host down, dropped after a boot with the restore skipped; the
        // others come back without it, and so at every later boot.
        {Nothing, {"apply", "CVE-2024-1086"}, 0, "ACTIVED"},
        {Nothing, {"apply", "CVE-2023-4911"}, 0, "ACTIVED"},
        {Nothing, {"accept", "CVE-2024-1086", "CVE-2023-4911"}, 0, "ACCEPTED"},
        {Nothing, {"save"}, 0, ""},
        {KillSwitchBoot, {"boot"}, 0, "the restore was skipped at this boot (quvane.restore=0"},
        {Nothing, {"save"}, 1, "The restore was skipped at this boot"},
        {Nothing, {"remove", "CVE-2024-1086"}, 0, "CVE-2024-1086: NOT-APPLIED"},
        {Nothing, {"--json", "restore", "--accepted"}, 0, R"("restored":["CVE-2023-4911"])"},
        {Nothing, {"save"}, 0, ""},
        {Reboot, {"--timeout", "60", "restore", "--accepted", "--if-saved"}, 0, ""},
        {Nothing,
         {"boot"},
         0,
         "The next boot restores CVE-2023-4911.\nThe restore at this boot succeeded"},
        // A save whose answer is lost: the boot set it recorded before the call holds.
        {Nothing, {"apply", "CVE-2023-5678"}, 0, "ACTIVED"},
        {Nothing, {"accept", "CVE-2023-5678"}, 0, "ACCEPTED"},
        {LostAnswer, {"save"}, 1, ""},
        {Nothing, {"boot"}, 0, "The next boot restores CVE-2023-4911, CVE-2023-5678."},
    };
    std::size_t since_kill_switch = 0;
    for (const auto& step : steps) {
        if (step.before == Reboot || step.before == KillSwitchBoot) {
            restart_daemon(step.before == KillSwitchBoot);
        }
        if (step.before == KillSwitchBoot) {
            since_kill_switch = daemon.requests().size();
        }
        const std::string& word = step.args.front();
        lose_answers(step.before != LostAnswer ? ""
                     : word == "save"          ? "save_patch_status"
                                               : word + "_patch");
        const auto saves = [&] { return std::ranges::count(methods(), "save_patch_status"); };
        const auto saved_before = saves();
        const auto result = run(step.args);
        const std::string shown = step.args.back() + " " + result.out + result.err;
        EXPECT_EQ(result.status, step.status) << shown;
        EXPECT_THAT(result.out, HasSubstr(step.shows)) << shown;
        if (std::ranges::find(step.args, "save") != step.args.end()) {
            EXPECT_EQ(saves() - saved_before, step.status == 0 || step.before == LostAnswer ? 1 : 0)
                << shown;
        }
    }
    // The dropped patch was never applied on the way.
    const auto requests = daemon.requests();
    for (std::size_t i = since_kill_switch; i < requests.size(); ++i) {
        const auto request = testing::view_request(requests[i]);
        EXPECT_FALSE(request.method == "apply_patch" &&
                     (request.first_param == "\"CVE-2024-1086\"" ||
                      request.first_param == "\"3f2a9c1e-7b44-4d0a-9e51-0c6d8a2b7f10\""));
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
    EXPECT_THAT(run({"boot"}).out, HasSubstr("'quvane save --force' writes a new record"));
    EXPECT_EQ(run({"save", "--force"}).status, 0);
    EXPECT_THAT(run({"boot"}).out, HasSubstr("The next boot restores CVE-2023-4911."));
}

}  // namespace
}  // namespace quvane
