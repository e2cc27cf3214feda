// The binary's command line, help, version, usage errors and start-up log, end to end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/process.h"
#include "support/stub_daemon.h"
#include "version.h"

namespace quvane {
namespace {

using ::testing::HasSubstr;
using testing::run_process;
using testing::run_quvane;
using ::testing::StartsWith;

TEST(CommandLine, HelpAndVersionGoToStandardOutput) {
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> contains;
    } cases[] = {
        {{"--help"},
         {"Quvane command line interface", "-w,--work-dir WORK_DIR", "Path for working directory",
          "-v,--verbose", "Provide more detailed info", "-V,--version"}},
        {{"-h"}, {"Usage: " + testing::quvane_binary() + " [OPTIONS] SUBCOMMAND"}},
        {{"-w", "/x", "-h"}, {"Subcommands:"}},
        {{"apply", "--help"}, {"Apply a patch", "IDENTIFIER...", "Patch identifier"}},
        {{"restore", "-h"}, {"Restore all patch status", "--accepted", "Accepted patch only"}},
        {{"list", "-h"}, {"List all patches"}},
    };
    for (const auto& c : cases) {
        const auto result = run_quvane(c.args);
        EXPECT_EQ(result.status, 0) << c.args[0];
        EXPECT_EQ(result.err, "");
        for (const auto& text : c.contains) {
            EXPECT_THAT(result.out, HasSubstr(text)) << c.args[0];
        }
    }
    for (const char* flag : {"-V", "--version"}) {
        const auto version = run_quvane({flag});
        EXPECT_EQ(version.out, "quvane " + std::string(quvane::version) + "\n");
        EXPECT_EQ(version.status, 0);
    }
}

TEST(CommandLine, SubcommandsAppearInHelpInTheirOrder) {
    const std::string help = run_quvane({"--help"}).out;
    std::size_t position = 0;
    for (const char* line :
         {"build  ", "info  ", "target  ", "status  ", "list  ", "check  ", "apply  ", "remove  ",
          "active  ", "deactive  ", "accept  ", "save  ", "restore  "}) {
        const std::size_t found = help.find(std::string("\n  ") + line, position);
        ASSERT_NE(found, std::string::npos) << line;
        position = found;
    }
}

TEST(CommandLine, NoSubcommandPrintsFullHelpAsAnError) {
    const auto result = run_quvane({});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, run_quvane({"--help"}).out);
}

TEST(CommandLine, UsageErrorsGoToStandardErrorWithStatusOne) {
    const struct {
        std::vector<std::string> args;
        std::string problem;
    } cases[] = {
        {{"list", "-v"}, "-v"},
        {{"help"}, "help"},
        {{"bogus"}, "bogus"},
        {{"List"}, "List"},
        {{"--bogus", "list"}, "--bogus"},
        {{"list", "extra"}, "extra"},
        {{"-v", "-v", "list"}, "--verbose"},
        {{"-w", "a", "-w", "b", "list"}, "--work-dir"},
        {{"restore", "--accepted", "--accepted"}, "--accepted"},
        {{"apply"}, "identifier is required"},
        {{"apply", "-V"}, "-V"},
        {{"info", "--accepted", "a"}, "--accepted"},
        {{"-w"}, "-w"},
        {{"restore", "--accepted=false"}, "accepted"},
        {{"--verbose=false", "list"}, "verbose"},
    };
    for (const auto& c : cases) {
        const auto result = run_quvane(c.args);
        EXPECT_EQ(result.status, 1) << c.args[0];
        EXPECT_EQ(result.out, "") << c.args[0];
        EXPECT_THAT(result.err, StartsWith("error: ")) << c.args[0];
        EXPECT_THAT(result.err, HasSubstr(c.problem)) << c.args[0];
        EXPECT_THAT(result.err, HasSubstr("Usage: ")) << c.args[0];
    }
}

TEST(CommandLine, UsageErrorsNameTheFaultAndSuggestTheFix) {
    const std::string quvane = testing::quvane_binary();
    const struct {
        std::vector<std::string> args;
        std::string lines;
    } cases[] = {
        {{"apply", "-x"}, "error: The following argument was not expected: -x\n"},
        {{"aply", "P1"},
         "error: unknown subcommand 'aply'\ntip: a similar subcommand exists: 'apply'\n"},
        {{"xyzzy"}, "error: unknown subcommand 'xyzzy'\n"},
        {{"status", "-v", "P1"},
         "error: unexpected argument '-v' after the subcommand\n"
         "tip: options go before the subcommand: " +
             quvane + " -v status ...\n"},
        {{"status", "--work-dir=/x", "P1"},
         "error: unexpected argument '--work-dir=/x' after the subcommand\n"
         "tip: options go before the subcommand: " +
             quvane + " --work-dir WORK_DIR status ...\n"},
        // Long options are matched whole, with their value in either form.
        {{"--time", "5", "list"}, "error: unknown option '--time'\n"},
        {{"--wo", "/x", "list"}, "error: unknown option '--wo'\n"},
        {{"--json", "--timeout"}, "error: option '--timeout' needs a value SECONDS\n"},
    };
    for (const auto& c : cases) {
        const auto result = run_quvane(c.args);
        EXPECT_EQ(result.status, 1) << c.args[0];
        EXPECT_THAT(result.err, StartsWith(c.lines + "\nUsage: " + quvane)) << c.args[0];
        EXPECT_THAT(result.err, ::testing::EndsWith("\nFor more information, try '--help'.\n"));
    }
    // Help or version that cannot be written is no success.
    for (const char* redirect : {" --help >/dev/full", " -V >&-"}) {
        const auto result = run_process({"/bin/sh", "-c", quvane + redirect});
        EXPECT_EQ(result.status, 1) << redirect;
        EXPECT_THAT(result.err, StartsWith("Error: Failed to write to standard output: "));
    }
}

TEST(CommandLine, VerboseRunLogsStartUpRequestAndResponseBeforeTheResult) {
    testing::TemporaryDirectory dir;
    testing::StubDaemon daemon(dir.path() / "quvaned.sock", [](const std::string& request) {
        return testing::Reply::result(request, "[]");
    });
    const auto result = run_quvane({"-v", "-w", dir.path().string(), "list"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const std::string header =
        "Uuid" + std::string(37, ' ') + "Name" + std::string(57, ' ') + "Status      ";
    EXPECT_EQ(result.out,
              "Start with Arguments {\n"
              "    command: List,\n"
              "    work_dir: \"" +
                  dir.path().string() +
                  "\",\n"
                  "    verbose: true,\n"
                  "}\n"
                  "Initializing remote procedure call client...\n"
                  "Initializing remote procedure calls...\n"
                  "Initializing command executors...\n"
                  "Invoking command: List\n"
                  "Request {\n"
                  "    method: \"get_patch_list\",\n"
                  "    params: [],\n"
                  "    id: 1,\n"
                  "    jsonrpc: \"2.0\",\n"
                  "}\n"
                  "Response {\n"
                  "    result: [],\n"
                  "    error: None,\n"
                  "    id: 1,\n"
                  "    jsonrpc: \"2.0\",\n"
                  "}\n" +
                  header + "\nDone\n");
    // Without --verbose only the table.
    EXPECT_EQ(run_quvane({"-w", dir.path().string(), "list"}).out, header + "\n");
}

TEST(CommandLine, RelativeWorkDirIsResolvedAgainstTheCurrentDirectory) {
    testing::TemporaryDirectory dir;
    const auto result = run_quvane({"-v", "-w", "run/./x/..", "list"}, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "");
    EXPECT_THAT(result.out, HasSubstr("work_dir: \"" + dir.path().string() + "/run\""));
    EXPECT_THAT(result.out, HasSubstr("Request {"));
    EXPECT_THAT(result.out,
                ::testing::EndsWith("Error: Cannot connect to quvane daemon at unix://" +
                                    dir.path().string() +
                                    "/run/quvaned.sock, No such file or directory (os error 2)\n"));
    EXPECT_THAT(result.out, ::testing::Not(HasSubstr("Response {")));
    EXPECT_THAT(result.out, ::testing::Not(HasSubstr("Done")));
}

TEST(CommandLine, ConversionFailureIsReportedOnStandardError) {
    testing::TemporaryDirectory dir;
    const std::string gone = (dir.path() / "gone").string();
    const auto result = run_process({"/bin/sh", "-c",
                                     "mkdir " + gone + " && cd " + gone + " && rmdir " + gone +
                                         " && exec " + testing::quvane_binary() + " -w run list"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "Error: Failed to parse arguments\n\nCaused by:\n    No such file or directory (os "
              "error 2)\n");
}

}  // namespace
}  // namespace quvane
