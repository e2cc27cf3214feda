// What a daemon, a work directory or a parent process that does not play fair can do to a run.
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/process.h"
#include "support/stub_daemon.h"

namespace quvane {
namespace {

using ::testing::HasSubstr;
using testing::Reply;

// A daemon whose texts would act on a terminal: a clipboard write, a screen clear, a carriage
// return, a forged line and a right-to-left override.
Reply hostile(const std::string& request) {
    const auto view = testing::view_request(request);
    if (view.method == "get_patch_list") {
        return Reply::result(
            request, R"([["u\u202e1","evil\u001b]52;c;aGk=\u0007\nfake: ACCEPTED","Actived"]])");
    }
    if (view.method == "get_patch_target") {
        return Reply::result(
            request, R"({"name":"k","kind":"SourcePackage","arch":"x","epoch":"","version":"1",)"
                     R"("release":"1","license":"GPL","source_pkg":"k.src"})");
    }
    if (view.method == "get_patch_status") {
        return Reply::result(request, R"([{"name":"p\rOK\u007f\u009b","status":"Actived"}])");
    }
    return Reply::error(request, "bad\u001b[2Jthing");
}

TEST(DaemonText, EscapedOnATerminalAndUnchangedElsewhere) {
    testing::TemporaryDirectory dir;
    testing::StubDaemon daemon(dir.path() / "quvaned.sock", hostile);
    const std::string work_dir = dir.path().string();
    const struct {
        std::vector<std::string> args;
        std::string on_terminal;  // a line of the output
        std::string in_a_pipe;
    } cases[] = {
        {{"list"},
         "u\\u202e1" + std::string(32, ' ') + " evil\\x1b]52;c;aGk=\\x07\\x0afake: ACCEPTED",
         "u\u202e1" + std::string(37, ' ') + " evil\x1b]52;c;aGk=\x07\nfake: ACCEPTED"},
        {{"status", "p"}, "p\\x0dOK\\x7f\\u009b: ACTIVED", "p\rOK\x7f\u009b: ACTIVED"},
        {{"save"}, "Error: bad\\x1b[2Jthing", "Error: bad\x1b[2Jthing"},
        // Identifiers are often daemon text too: completed, or fed from a list.
        {{"target", "p1\x1b]0;owned\x07\x1b[2J"},
         "Patch: p1\\x1b]0;owned\\x07\\x1b[2J",
         "Patch: p1\x1b]0;owned\x07\x1b[2J"},
        {{"-v", "status", "p\u202e\u009b"}, "\"p\\u202e\\u009b\"", "\"p\u202e\u009b\""},
        {{"\x1b[2Jbad"}, "unknown subcommand '\\x1b[2Jbad'", "unknown subcommand '\x1b[2Jbad'"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"-w", work_dir};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_THAT(testing::run_quvane_on_terminal(args).out, HasSubstr(c.on_terminal))
            << c.args[0];
        const auto in_a_pipe = testing::run_quvane(args);
        EXPECT_THAT(in_a_pipe.out + in_a_pipe.err, HasSubstr(c.in_a_pipe)) << c.args[0];
    }
}

}  // namespace
}  // namespace quvane
