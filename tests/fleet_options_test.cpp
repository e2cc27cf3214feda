// The options for scripts and fleets: --timeout, --wait and --json, end to end.
#include <fstream>
#include <future>
#include <iterator>
#include <regex>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>

#include <sys/inotify.h>
#include <unistd.h>

#include "executor/operation_lock.h"
#include "json_text.h"
#include "os/file_descriptor.h"
#include "rpc/answer_decoding.h"
#include "support/end_to_end.h"
#include "support/process.h"

namespace quvane {
namespace {

using ::testing::HasSubstr;
using testing::Reply;

TEST(FleetOptions, TimeoutEndsACallToASilentDaemonAndReleasesTheLock) {
    testing::TemporaryDirectory dir;
    testing::StubDaemon daemon(
        dir.path() / "quvaned.sock",
        std::vector<Reply>{
            {Reply::Kind::Silent},
            Reply::answer(R"({"result":[{"name":"P2","status":"Actived"}],"id":2})")});
    const auto result =
        testing::run_quvane({"-w", dir.path().string(), "--timeout", "0.2", "apply", "P1", "P2"});
    EXPECT_EQ(result.status, 1);
    // The call that ran out of time is named, as the JSON document names it.
    EXPECT_EQ(result.out,
              "P2: ACTIVED\nError: Operation failed\n\nCaused by:\n    0. P1: Cannot connect to "
              "quvane daemon at unix://" +
                  (dir.path() / "quvaned.sock").string() +
                  ", the daemon did not answer within 0.2 seconds\n");
    EXPECT_TRUE(executor::OperationLock::acquire(dir.path() / "patch_op.lock", true).has_value());
}

// In a pipe or a file as on a terminal, each identifier's lines are out before the next call.
TEST(FleetOptions, EachIdentifiersLinesAreWrittenAsItsCallEnds) {
    const auto prefix = testing::superuser_prefix();
    if (!prefix) {
        GTEST_SKIP() << "neither root nor a user namespace";
    }
    testing::TemporaryDirectory dir;
    const auto out = dir.path() / "out";
    std::promise<std::string> written_before_b;
    testing::StubDaemon daemon(dir.path() / "quvaned.sock", [&](const std::string& request) {
        const std::string name = testing::view_request(request).first_param;
        if (name == "\"B\"") {
            std::ifstream file(out);
            written_before_b.set_value(std::string(std::istreambuf_iterator<char>(file), {}));
        }
        return Reply::result(request, R"([{"name":)" + name + R"(,"status":"Actived"}])");
    });
    std::vector<std::string> argv = *prefix;
    argv.insert(argv.end(), {"/bin/sh", "-c", R"(exec "$0" -w "$1" apply A B > "$2")",
                             testing::quvane_binary(), dir.path().string(), out.string()});
    EXPECT_EQ(testing::run_process(argv).status, 0);
    EXPECT_EQ(written_before_b.get_future().get(), "A: ACTIVED\n");
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
    EXPECT_EQ(gave_up.err, "");  // the word while waiting is for a terminal only
    EXPECT_TRUE(daemon.requests().empty());
    // On a terminal a person is told the run waits, or how to wait.
    const std::string lock = lock_path.string();
    EXPECT_THAT(
        testing::run_quvane_on_terminal({"-w", dir.path().string(), "--wait", "0.1", "apply", "P1"})
            .out,
        HasSubstr("another run holds the lock " + lock + "; waiting up to 0.1 seconds"));
    EXPECT_THAT(testing::run_quvane_on_terminal({"-w", dir.path().string(), "apply", "P1"}).out,
                HasSubstr("another run holds the lock " + lock + "; wait for it with --wait"));

    // The waiter is known to wait once it has opened the lock file; only then is the lock
    // released, and no call may have been made before.
    const os::FileDescriptor watch(::inotify_init1(IN_CLOEXEC));
    ASSERT_GE(::inotify_add_watch(watch.get(), lock_path.c_str(), IN_OPEN), 0);
    auto waiting = std::async(std::launch::async, [&] {
        return testing::run_quvane({"-w", dir.path().string(), "--wait", "30", "apply", "P1"});
    });
    alignas(inotify_event) char event[sizeof(inotify_event) + NAME_MAX + 1];
    ASSERT_GT(::read(watch.get(), event, sizeof event), 0);
    EXPECT_TRUE(daemon.requests().empty());
    held.reset();
    const auto waited = waiting.get();
    EXPECT_EQ(waited.status, 0);
    EXPECT_EQ(waited.out, "P1: ACTIVED\n");
    EXPECT_EQ(daemon.requests().size(), 1U);
}

using FleetJson = testing::EndToEnd;

TEST_F(FleetJson, OneDocumentPerRun) {
    fault("get_patch_list", [](const std::string& request) {
        return Reply::result(request, R"([["u1","fix\u001b[2J","Deactived"]])");
    });
    const std::string kernel = "CVE-2024-1086";
    // Each failure says its kind, and the daemon's code where it refused.
    const std::string gone =
        R"({"identifier":"gone","error":"Cannot find patch \"gone\"","kind":"unknown-patch",)"
        R"("code":-32000})";
    const std::string package =
        R"({"name":"kernel","kind":"SourcePackage","arch":"x86_64","epoch":"0",)"
        R"("version":"5.10.0","release":"136.12.0","license":"GPL-2.0-only",)"
        R"("source_pkg":"kernel-5.10.0-136.12.0.src.rpm"})";
    const struct {
        std::vector<std::string> args;
        std::string starts;  // the document, or its start
        std::string ends;    // its end, when `starts` is not all of it
        int status;
    } cases[] = {
        {{"list"},
         R"({"patches":[{"uuid":"u1","name":"fix\u001b[2J","status":"DEACTIVED"}]})",
         "",
         0},
        {{"info", kernel, "gone"},
         R"({"results":[{"identifier":"CVE-2024-1086","info":{"uuid":"3f2a9c1e-7b44-4d0a-9e51-)"
         R"(0c6d8a2b7f10","name":"CVE-2024-1086","version":"1","release":1,)",
         R"(}}],"failures":[)" + gone + "]}",
         1},
        {{"target", kernel},
         R"({"results":[{"identifier":"CVE-2024-1086","target":)" + package +
             R"(}],"failures":[]})",
         "",
         0},
        {{"check", kernel}, R"({"results":[{"identifier":"CVE-2024-1086"}],"failures":[]})", "", 0},
        {{"apply", "gone", kernel},
         R"({"results":[{"identifier":"CVE-2024-1086","patches":[{"name":"CVE-2024-1086",)"
         R"("status":"ACTIVED"}]}],"failures":[)" +
             gone + "]}",
         "",
         1},
        {{"apply", kernel},
         R"({"results":[],"failures":[{"identifier":"CVE-2024-1086","error":"Patch )"
         R"(\"CVE-2024-1086\" is already applied","kind":"already","code":-32000}]})",
         "",
         1},
        {{"remove", "gone"}, R"({"results":[],"failures":[)" + gone + "]}", "", 1},
        {{"save"}, R"({"boot_set":[]})", "", 0},
        {{"restore", "--accepted"}, R"({"accepted":true,"restored":[],"not_restored":[]})", "", 0},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto result = run(args);
        if (c.ends.empty()) {
            EXPECT_EQ(result.out, c.starts + "\n") << c.args[0];
        } else {
            EXPECT_THAT(result.out, ::testing::StartsWith(c.starts)) << c.args[0];
            EXPECT_THAT(result.out, ::testing::EndsWith(c.ends + "\n")) << c.args[0];
        }
        EXPECT_EQ(result.status, c.status) << c.args[0];
        EXPECT_EQ(result.err, "") << c.args[0];
    }

    // With -v the records go to standard error; standard output holds the document alone.
    const auto verbose = run({"--json", "-v", "status", kernel});
    EXPECT_EQ(verbose.out, R"({"results":[{"identifier":"CVE-2024-1086","patches":[{"name":)"
                           R"("CVE-2024-1086","status":"ACTIVED"}]}],"failures":[]})"
                           "\n");
    EXPECT_THAT(verbose.err, HasSubstr("method: \"get_patch_status\""));

    // A failure of the whole run.
    const auto unprivileged =
        testing::run_quvane_unprivileged({"-w", dir.path().string(), "--json", "list"});
    EXPECT_EQ(unprivileged.out,
              R"({"error":{"message":"This command has to be run with superuser privileges )"
              R"((under the root user on most systems).","causes":[],"kind":"not-superuser"}})"
              "\n");
    EXPECT_EQ(unprivileged.status, 1);
    hold_lock();
    const auto locked = run({"--json", "apply", kernel});
    const std::regex lock_error(
        R"x(\{"error":\{"message":"Failed to acquire flock for fd [0-9]+",)x"
        R"x("causes":\["Resource temporarily unavailable \(os error 11\)"\],"kind":"locked"\}\}\n)x");
    EXPECT_TRUE(std::regex_match(locked.out, lock_error)) << locked.out;
    EXPECT_EQ(locked.status, 1);
}

}  // namespace
}  // namespace quvane

namespace quvane {
namespace {

// A document longer than the blocks it goes out in is the document written whole.
TEST_F(FleetJson, AnInfoLargerThanABlockIsTheDocumentWrittenWhole) {
    std::string info =
        R"({"uuid":"u","name":"big","version":"1","release":1,"arch":"x86_64","kind":"UserPatch",)"
        R"("depends":"","target":{"name":"t","kind":"SourcePackage","arch":"a","epoch":"0",)"
        R"("version":"1","release":"1","license":"l","source_pkg":"s"},"entities":[)";
    for (int i = 0; i < 8000; ++i) {
        info += (i > 0 ? "," : "") +
                fmt::format(R"({{"uuid":"e{}","patch_name":{{"Unix":[110,102,{}]}},)"
                            R"("patch_target":"/lib/m\u00e9/{}.ko","checksum":"c"}})",
                            i, i % 256, i);
    }
    info += R"(],"description":"d","patches":[],"others":{}})";
    fault("get_patch_info",
          [&](const std::string& request) { return Reply::result(request, info); });
    const auto decoded = rpc::decode_answer<PatchInfo>(
        wire::Reply::copy_of(R"({"jsonrpc":"2.0","id":1,"result":)" + info + "}"));
    ASSERT_TRUE(decoded.has_value());
    std::string whole = R"({"results":[{"identifier":"big","info":)";
    json::append_value(whole, **decoded);
    whole += "}],\"failures\":[]}\n";
    ASSERT_GT(whole.size(), std::size_t{512} << 10);  // more than two blocks
    const auto result = run({"--json", "info", "big"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out == whole) << result.out.size() << " bytes, not " << whole.size();
}

}  // namespace
}  // namespace quvane
