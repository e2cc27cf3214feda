// The twelve patch subcommands end to end: the binary against the development daemon's
// patch service, faults staged on the stand-in daemon.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "executor/operation_lock.h"
#include "support/end_to_end.h"
#include "support/process.h"

namespace quvane {
namespace {

using ::testing::HasSubstr;
using testing::Reply;

const std::string separator(43, '-');

constexpr std::string_view kernel_patch = "CVE-2024-1086";
constexpr std::string_view glibc_patch = "CVE-2023-4911";

const std::string info_text =
    "name:        CVE-2024-1086\nversion:     1\nrelease:     1\narch:        x86_64\n"
    "type:        KernelPatch\ndepends:     \ntarget:      kernel-5.10.0-136.12.0\n"
    "license:     GPL-2.0-only\ndescription: netfilter: nf_tables: reject verdict parameters "
    "that can corrupt memory\nbuilder: quvane-build 1.2.3\nseverity: important\nentities:\n"
    "* nf_tables.ko\n";

const std::string package_text =
    "name:    kernel\ntype:    SourcePackage\narch:    x86_64\nepoch:   0\nversion: "
    "5.10.0\nrelease: 136.12.0\nlicense: GPL-2.0-only";

std::string not_found(std::string_view identifier) {
    return "Cannot find patch \"" + std::string(identifier) + "\"";
}

using PatchCommands = testing::EndToEnd;

TEST_F(PatchCommands, InfoAndTargetBlocksThenTheSummaryOfFailures) {
    const std::string block = separator + "\nPatch: CVE-2024-1086\n" + separator + "\n";
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"info", "CVE-2024-1086"}, block + info_text + "\n" + separator + "\n"},
        {{"info", "CVE-2024-1086", "missing", "CVE-2024-1086"},
         block + info_text + "\n" + block + info_text + "\n" + separator +
             "\nError: Operation failed\n\nCaused by:\n    0. " + not_found("missing") + "\n"},
        {{"info", "missing", "gone"},
         separator + "\nError: Operation failed\n\nCaused by:\n    0. " + not_found("missing") +
             "\n    \n    1. " + not_found("gone") + "\n"},
        {{"target", "CVE-2024-1086"}, block + package_text + "\n" + separator + "\n"},
    };
    for (const auto& c : cases) {
        const auto result = run(c.args);
        EXPECT_EQ(result.out, c.out) << c.args[1];
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, c.out.find("Error:") == std::string::npos ? 0 : 1);
    }
}

TEST_F(PatchCommands, StateLinesThroughTheWholeLifecycle) {
    const std::string remove_wait = "----------Please wait for seconds!---------\n";
    const struct {
        std::string word;
        std::string method;
        std::string status;
        std::string before;
    } steps[] = {
        {"status", "get_patch_status", "NOT-APPLIED", ""},
        {"apply", "apply_patch", "ACTIVED", ""},
        {"deactive", "deactive_patch", "DEACTIVED", ""},
        {"active", "active_patch", "ACTIVED", ""},
        {"accept", "accept_patch", "ACCEPTED", ""},
        {"remove", "remove_patch", "NOT-APPLIED", remove_wait},
    };
    const std::string a(kernel_patch);
    const std::string b(glibc_patch);
    for (const auto& step : steps) {
        const std::size_t first_request = daemon.requests().size();
        const auto result = run({step.word, a, "missing", b});
        EXPECT_EQ(result.out, step.before + a + ": " + step.status + "\n" + b + ": " + step.status +
                                  "\nError: Operation failed\n\nCaused by:\n    0. " +
                                  not_found("missing") + "\n")
            << step.word;
        EXPECT_EQ(result.status, 1);
        const auto requests = daemon.requests();
        ASSERT_EQ(requests.size(), first_request + 3);
        for (std::size_t i = 0; i < 3; ++i) {
            const auto view = testing::view_request(requests[first_request + i]);
            EXPECT_EQ(view.method, step.method);
            EXPECT_EQ(view.id, std::to_string(i + 1));
        }
    }
    // What the lifecycle refuses is the daemon's error, for that identifier alone.
    const auto again = run({"remove", a});
    EXPECT_EQ(again.out, remove_wait + "Error: Operation failed\n\nCaused by:\n    0. Patch \"" +
                             a + "\" is not applied\n");
}

TEST_F(PatchCommands, ListTablePadsByCharactersAndNeverCuts) {
    const std::string header =
        "Uuid" + std::string(36, ' ') + " Name" + std::string(56, ' ') + " Status      \n";
    const auto catalogue = run({"list"});
    EXPECT_EQ(catalogue.status, 0);
    EXPECT_THAT(catalogue.out, ::testing::StartsWith(header +
                                                     "3f2a9c1e-7b44-4d0a-9e51-0c6d8a2b7f10     "
                                                     "CVE-2024-1086" +
                                                     std::string(47, ' ') + " NOT-APPLIED\n"));

    std::string list_result = "[]";
    fault("get_patch_list", [&](const std::string& request) {
        return list_result == "fail" ? Reply::error(request, "List failed")
                                     : Reply::result(request, list_result);
    });
    EXPECT_EQ(run({"list"}).out, header);
    const std::string long_name(70, 'n');
    list_result = R"([{"uuid":"a1","name":"caf\u00e9","status":"NotApplied"},["b2",")" + long_name +
                  R"(","Accepted"]])";
    const auto result = run({"list"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, header + "a1" + std::string(38, ' ') + " caf\xC3\xA9" +
                              std::string(56, ' ') + " NOT-APPLIED\n" + "b2" +
                              std::string(38, ' ') + " " + long_name + " ACCEPTED\n");

    list_result = R"({"not":"a list"})";
    const auto failed = run({"list"});
    EXPECT_EQ(failed.out, "Error: Failed to parse response\n");
    EXPECT_EQ(failed.status, 1);
    list_result = "fail";
    EXPECT_EQ(run({"list"}).out, "Error: List failed\n");
}

TEST_F(PatchCommands, CheckSaveAndRestore) {
    const std::string restore_wait = "----------Please wait for seconds!----------\n";
    const struct {
        std::vector<std::string> args;
        std::string out;
        int status;
        std::string params;
    } cases[] = {
        {{"check", "CVE-2024-1086", "CVE-2023-4911"},
         "Checks are passed!\n",
         0,
         R"("CVE-2024-1086")"},
        {{"check", "CVE-2024-1086", "missing"},
         "Error: Operation failed\n\nCaused by:\n    0. " + not_found("missing") + "\n",
         1,
         R"("CVE-2024-1086")"},
        {{"restore"}, restore_wait + "Error: No saved patch status to restore\n", 1, "false"},
        {{"save"}, "", 0, ""},
        {{"restore"}, restore_wait, 0, "false"},
        {{"restore", "--accepted"}, restore_wait, 0, "true"},
    };
    for (const auto& c : cases) {
        const std::size_t first_request = daemon.requests().size();
        const auto result = run(c.args);
        EXPECT_EQ(result.out, c.out) << c.args[0];
        EXPECT_EQ(result.status, c.status) << c.args[0];
        // A restore on a host with no record yet looks at what is accepted first.
        std::size_t call = first_request;
        while (testing::view_request(daemon.requests().at(call)).method == "get_patch_list") {
            ++call;
        }
        EXPECT_EQ(testing::view_request(daemon.requests().at(call)).first_param, c.params)
            << c.args[0];
    }
    fault("save_patch_status",
          [](const std::string& request) { return Reply::error(request, "Save failed"); });
    EXPECT_EQ(run({"save"}).out, "Error: Save failed\n");
}

TEST_F(PatchCommands, EveryPatchSubcommandNeedsTheSuperuser) {
    const std::vector<std::vector<std::string>> commands{
        {"info", "A"},     {"target", "A"}, {"status", "A"}, {"list"},
        {"check", "A"},    {"apply", "A"},  {"remove", "A"}, {"active", "A"},
        {"deactive", "A"}, {"accept", "A"}, {"save"},        {"restore"},
    };
    for (auto args : commands) {
        args.insert(args.begin(), {"-w", dir.path().string()});
        const auto result = testing::run_quvane_unprivileged(args);
        EXPECT_EQ(result.out,
                  "Error: This command has to be run with superuser privileges (under the root "
                  "user on most "
                  "systems).\n")
            << args[2];
        EXPECT_EQ(result.status, 1);
    }
    EXPECT_EQ(daemon.connections(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "patch_op.lock"));
}

TEST_F(PatchCommands, HeldLockStopsStateChangesAtOnce) {
    hold_lock();
    const std::string lock_error = "Error: Failed to acquire flock for fd ";
    const std::string cause =
        "\n\nCaused by:\n    Resource temporarily unavailable (os error 11)\n";
    const struct {
        std::vector<std::string> args;
        std::string before;
    } blocked[] = {
        {{"check", "A"}, ""},  {{"apply", "A"}, ""},
        {{"active", "A"}, ""}, {{"deactive", "A"}, ""},
        {{"accept", "A"}, ""}, {{"save"}, ""},
        {{"restore"}, ""},     {{"remove", "A"}, "----------Please wait for seconds!---------\n"},
    };
    for (const auto& c : blocked) {
        const auto result = run(c.args);
        EXPECT_EQ(result.status, 1) << c.args[0];
        EXPECT_THAT(result.out, ::testing::StartsWith(c.before + lock_error)) << c.args[0];
        EXPECT_THAT(result.out, ::testing::EndsWith(cause)) << c.args[0];
        const std::string fd = result.out.substr(
            c.before.size() + lock_error.size(),
            result.out.size() - c.before.size() - lock_error.size() - cause.size());
        EXPECT_THAT(fd, ::testing::MatchesRegex("[0-9]+")) << c.args[0];
    }
    EXPECT_EQ(daemon.connections(), 0u);
    for (const auto& args : std::vector<std::vector<std::string>>{{"info", "CVE-2024-1086"},
                                                                  {"target", "CVE-2024-1086"},
                                                                  {"status", "CVE-2024-1086"},
                                                                  {"list"}}) {
        EXPECT_EQ(run(args).status, 0) << args[0];
    }
    EXPECT_EQ(methods(), (std::vector<std::string>{"get_patch_info", "get_patch_target",
                                                   "get_patch_status", "get_patch_list"}));
}

TEST_F(PatchCommands, AWorkDirectoryOthersCanWriteIsRefusedBeforeTheLock) {
    const std::string work_dir = dir.path().string();
    const auto refusal = [&](const std::string& owner, const std::string& mode) {
        return "Error: The work directory " + work_dir +
               " is not safe for the operation lock\n\nCaused by:\n    " + work_dir +
               " is owned by " + owner + " with mode " + mode +
               "; make it owned by root and not writable by group or others (chown root " +
               work_dir + "; chmod go-w " + work_dir + ")\n";
    };
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const auto writable = run({"apply", "CVE-2024-1086"});
    EXPECT_EQ(writable.out, refusal("uid 0 (root)", "0777"));
    EXPECT_EQ(writable.status, 1);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0775), 0);
    EXPECT_EQ(run({"save"}).out, refusal("uid 0 (root)", "0775"));
    // Runs that take no lock are not concerned.
    EXPECT_EQ(run({"status", "CVE-2024-1086"}).status, 0);
    if (::getuid() == 0) {
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        ASSERT_EQ(::chown(dir.path().c_str(), 65534, 65534), 0);
        EXPECT_THAT(run({"remove", "CVE-2024-1086"}).out,
                    HasSubstr(" is owned by uid 65534 (nobody) with mode 0755;"));
        ASSERT_EQ(::chown(dir.path().c_str(), 0, 0), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "patch_op.lock"));
    EXPECT_EQ(methods(), std::vector<std::string>{"get_patch_status"});
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    EXPECT_EQ(run({"apply", "CVE-2024-1086"}).status, 0);
}

TEST_F(PatchCommands, LockFileIsCreatedEmptyAndPrivateAndLeftInPlace) {
    const auto lock_path = dir.path() / "patch_op.lock";
    EXPECT_EQ(run({"apply", "CVE-2024-1086"}).status, 0);
    struct stat status {};
    ASSERT_EQ(stat(lock_path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(status.st_size, 0);
    // Released at exit: the next run takes it again.
    EXPECT_EQ(run({"accept", "CVE-2024-1086"}).status, 0);
    // An existing file keeps its mode.
    ::chmod(lock_path.c_str(), 0644);
    EXPECT_EQ(run({"deactive", "CVE-2024-1086"}).status, 0);
    ASSERT_EQ(stat(lock_path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
}

TEST_F(PatchCommands, UnreachableDaemonIsOneFailurePerIdentifier) {
    testing::TemporaryDirectory empty;
    const auto result = testing::run_quvane({"-w", empty.path().string(), "apply", "A", "B"});
    const std::string message = "Cannot connect to quvane daemon at unix://" +
                                empty.path().string() +
                                "/quvaned.sock, No such file or directory (os error 2)";
    EXPECT_EQ(result.out, "Error: Operation failed\n\nCaused by:\n    0. " + message +
                              "\n    \n    1. " + message + "\n");
    EXPECT_EQ(result.status, 1);
}

}  // namespace
}  // namespace quvane
