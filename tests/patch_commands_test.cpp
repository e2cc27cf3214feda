// The twelve patch subcommands end to end: the binary against the stand-in daemon.
#include <fcntl.h>
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "executor/operation_lock.h"
#include "support/process.h"
#include "support/stub_daemon.h"

namespace quvane {
namespace {

using ::testing::HasSubstr;
using testing::Reply;

const std::string separator(43, '-');

constexpr std::string_view package_json =
    R"({"name":"kernel","kind":"SourcePackage","arch":"x86_64","epoch":"","version":"5.10.0","release":"60.18.0","license":"GPLv2","source_pkg":"kernel.src"})";

const std::string package_text =
    "name:    kernel\ntype:    SourcePackage\narch:    x86_64\nepoch:   \nversion: 5.10.0\n"
    "release: 60.18.0\nlicense: GPLv2";

std::string info_text(const std::string& name) {
    return "name:        " + name +
           "\nversion:     1\nrelease:     2\narch:        x86_64\ntype:        KernelPatch\n"
           "depends:     \ntarget:      kernel-5.10.0-60.18.0\nlicense:     GPLv2\ndescription: "
           "fix\n"
           "entities:\n* nf.ko\n";
}

// A daemon that knows every identifier but "missing" and "gone".
Reply answer(const std::string& request, const std::string& list_result) {
    const auto view = testing::view_request(request);
    const std::string id =
        view.first_param.size() >= 2 ? view.first_param.substr(1, view.first_param.size() - 2) : "";
    if (id == "missing" || id == "gone") {
        return Reply::error(request, "Patch \"" + id + "\" is not found");
    }
    const auto state = [&](std::string_view status) {
        return Reply::result(request,
                             fmt::format(R"([{{"name":"{}","status":"{}"}}])", id, status));
    };
    if (view.method == "get_patch_info") {
        return Reply::result(
            request,
            fmt::format(
                R"({{"uuid":"u","name":"{}","version":"1","release":2,"arch":"x86_64","kind":"KernelPatch","depends":"","target":{},"entities":[{{"uuid":"e","patch_name":{{"Unix":[110,102,46,107,111]}},"patch_target":"/x","checksum":"c"}}],"description":"fix","patches":[],"others":{{}}}})",
                id, package_json));
    }
    if (view.method == "get_patch_target")
        return Reply::result(request, std::string(package_json));
    if (view.method == "get_patch_list")
        return Reply::result(request, list_result);
    if (view.method == "get_patch_status")
        return state("Deactived");
    if (view.method == "apply_patch")
        return state("Actived");
    if (view.method == "remove_patch")
        return state("NotApplied");
    if (view.method == "active_patch")
        return state("Actived");
    if (view.method == "deactive_patch")
        return state("Deactived");
    if (view.method == "accept_patch")
        return state("Accepted");
    if (view.method == "save_patch_status" && list_result == "fail")
        return Reply::error(request, "Save failed");
    return Reply::result(request, "null");
}

class PatchCommands : public ::testing::Test {
  protected:
    testing::TemporaryDirectory dir;
    std::string list_result = "[]";
    testing::StubDaemon daemon{dir.path() / "quvaned.sock", [this](const std::string& request) {
                                   return answer(request, list_result);
                               }};

    testing::ProcessResult run(std::vector<std::string> args) {
        args.insert(args.begin(), {"-w", dir.path().string()});
        return testing::run_quvane(args);
    }
    std::vector<std::string> methods() const {
        std::vector<std::string> names;
        for (const auto& request : daemon.requests()) {
            names.push_back(testing::view_request(request).method);
        }
        return names;
    }
};

TEST_F(PatchCommands, InfoAndTargetBlocksThenTheSummaryOfFailures) {
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"info", "P1"},
         separator + "\nPatch: P1\n" + separator + "\n" + info_text("P1") + "\n" + separator +
             "\n"},
        {{"info", "P1", "missing", "P2"},
         separator + "\nPatch: P1\n" + separator + "\n" + info_text("P1") + "\n" + separator +
             "\nPatch: P2\n" + separator + "\n" + info_text("P2") + "\n" + separator +
             "\nError: Operation failed\n\nCaused by:\n    0. Patch \"missing\" is not found\n"},
        {{"info", "missing", "gone"},
         separator + "\nError: Operation failed\n\nCaused by:\n    0. Patch \"missing\" is not "
                     "found\n    \n"
                     "    1. Patch \"gone\" is not found\n"},
        {{"target", "P1", "P1"},
         separator + "\nPatch: P1\n" + separator + "\n" + package_text + "\n" + separator +
             "\nPatch: P1\n" + separator + "\n" + package_text + "\n" + separator + "\n"},
    };
    for (const auto& c : cases) {
        const auto result = run(c.args);
        EXPECT_EQ(result.out, c.out) << c.args[1];
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, c.out.find("Error:") == std::string::npos ? 0 : 1);
    }
}

TEST_F(PatchCommands, StateLinesForEveryStateSubcommand) {
    const struct {
        std::string word;
        std::string method;
        std::string status;
        std::string before;
    } cases[] = {
        {"status", "get_patch_status", "DEACTIVED", ""},
        {"apply", "apply_patch", "ACTIVED", ""},
        {"remove", "remove_patch", "NOT-APPLIED", "----------Please wait for seconds!---------\n"},
        {"active", "active_patch", "ACTIVED", ""},
        {"deactive", "deactive_patch", "DEACTIVED", ""},
        {"accept", "accept_patch", "ACCEPTED", ""},
    };
    for (const auto& c : cases) {
        const std::size_t first_request = daemon.requests().size();
        const auto result = run({c.word, "A", "missing", "A"});
        EXPECT_EQ(
            result.out,
            c.before + "A: " + c.status + "\nA: " + c.status +
                "\nError: Operation failed\n\nCaused by:\n    0. Patch \"missing\" is not found\n")
            << c.word;
        EXPECT_EQ(result.status, 1);
        const auto requests = daemon.requests();
        ASSERT_EQ(requests.size(), first_request + 3);
        for (std::size_t i = 0; i < 3; ++i) {
            const auto view = testing::view_request(requests[first_request + i]);
            EXPECT_EQ(view.method, c.method);
            EXPECT_EQ(view.id, std::to_string(i + 1));
        }
        const auto ok = run({c.word, "B"});
        EXPECT_EQ(ok.out, c.before + "B: " + c.status + "\n");
        EXPECT_EQ(ok.status, 0);
    }
}

TEST_F(PatchCommands, ListTablePadsByCharactersAndNeverCuts) {
    const std::string header =
        "Uuid" + std::string(36, ' ') + " Name" + std::string(56, ' ') + " Status      \n";
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
}

TEST_F(PatchCommands, CheckSaveAndRestore) {
    const struct {
        std::vector<std::string> args;
        std::string out;
        int status;
        std::string params;
    } cases[] = {
        {{"check", "A", "B"}, "Checks are passed!\n", 0, R"("A")"},
        {{"check", "A", "missing"},
         "Error: Operation failed\n\nCaused by:\n    0. Patch \"missing\" is not found\n",
         1,
         R"("A")"},
        {{"save"}, "", 0, ""},
        {{"restore"}, "----------Please wait for seconds!----------\n", 0, "false"},
        {{"restore", "--accepted"}, "----------Please wait for seconds!----------\n", 0, "true"},
    };
    for (const auto& c : cases) {
        const std::size_t first_request = daemon.requests().size();
        const auto result = run(c.args);
        EXPECT_EQ(result.out, c.out) << c.args[0];
        EXPECT_EQ(result.status, c.status) << c.args[0];
        EXPECT_EQ(testing::view_request(daemon.requests().at(first_request)).first_param, c.params)
            << c.args[0];
    }
    list_result = "fail";
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
    const auto lock_path = dir.path() / "patch_op.lock";
    auto held = executor::OperationLock::acquire(lock_path, true);
    ASSERT_TRUE(held.has_value());
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
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"info", "A"}, {"target", "A"}, {"status", "A"}, {"list"}}) {
        EXPECT_EQ(run(args).status, 0) << args[0];
    }
    EXPECT_EQ(methods(), (std::vector<std::string>{"get_patch_info", "get_patch_target",
                                                   "get_patch_status", "get_patch_list"}));
}

TEST_F(PatchCommands, LockFileIsCreatedEmptyAndPrivateAndLeftInPlace) {
    const auto lock_path = dir.path() / "patch_op.lock";
    EXPECT_EQ(run({"apply", "A"}).status, 0);
    struct stat status {};
    ASSERT_EQ(stat(lock_path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(status.st_size, 0);
    // Released at exit: the next run takes it again.
    EXPECT_EQ(run({"accept", "A"}).status, 0);
    // An existing file keeps its mode.
    ::chmod(lock_path.c_str(), 0644);
    EXPECT_EQ(run({"deactive", "A"}).status, 0);
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
