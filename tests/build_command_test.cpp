// `build` end to end. The build tool has a fixed path under /usr/libexec, so each case runs in
// a private mount namespace with a tmpfs over that directory, leaving the real one untouched.
#include <csignal>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/process.h"

namespace quvane {
namespace {

using ::testing::HasSubstr;

// Whether this machine lets the tests make a mount namespace with a tmpfs.
bool can_mount_privately() {
    static const bool possible = testing::run_process({"/usr/bin/unshare", "-m", "/bin/sh", "-c",
                                                       "mount -t tmpfs tmpfs /usr/libexec"})
                                     .status == 0;
    return possible;
}

// Installs `tool` (a shell script body, or nothing) at the build tool's path with `mode`, then
// runs `command` (a shell command line) in the same namespace.
testing::ProcessResult run_in_namespace(const std::string& tool, const std::string& mode,
                                        const std::string& command) {
    std::string script =
        "set -e; mount -t tmpfs -o mode=755 tmpfs /usr/libexec; mkdir -p /usr/libexec/quvane; ";
    if (!tool.empty()) {
        script += "printf '%s\\n' '#!/bin/sh' '" + tool +
                  "' > /usr/libexec/quvane/quvane-build; chmod " + mode +
                  " /usr/libexec/quvane/quvane-build; ";
    }
    script += "set +e; " + command;
    return testing::run_process({"/usr/bin/unshare", "-m", "/bin/sh", "-c", script});
}

class BuildCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!can_mount_privately()) {
            GTEST_SKIP()
                << "this machine cannot make a private mount namespace (needs root and unshare -m)";
        }
    }
    const std::string quvane = testing::quvane_binary();
};

TEST_F(BuildCommand, EndsWithTheToolsExitCodeAndPassesArgumentsUnchanged) {
    const struct {
        std::string tool;
        std::string args;
        std::string out;
        int status;
    } cases[] = {
        {R"(printf "[%s]" "$@"; echo; exit 0)", "", "[]\n", 0},
        {R"(printf "[%s]" "$@"; echo; exit 3)", "", "[]\n", 3},
        {R"(printf "[%s]" "$@"; echo; exit 3)", "-j 4 --foo -h 'a b' ''",
         "[-j][4][--foo][-h][a b][]\n", 3},
        {R"(printf "[%s]" "$@"; echo; exit 255)", "-- --help", "[--][--help]\n", 255},
    };
    for (const auto& c : cases) {
        const auto result = run_in_namespace(c.tool, "755", quvane + " build " + c.args);
        EXPECT_EQ(result.out, c.out) << c.args;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, c.status) << c.args;
    }
}

TEST_F(BuildCommand, VerboseLinesComeBeforeTheToolsOutputAndNoDoneAfter) {
    const auto result = run_in_namespace("echo tool-output; exit 0", "755", quvane + " -v build x");
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(
        result.out,
        ::testing::EndsWith(
            "Invoking command: Build {\n    args: [\n        \"x\",\n    ],\n}\ntool-output\n"));
}

TEST_F(BuildCommand, StartFailuresAndSignals) {
    const std::string start = "Error: Failed to start \"quvane-build\" process\n\nCaused by:\n    ";
    const struct {
        std::string tool;
        std::string mode;
        std::string out;
    } cases[] = {
        {"", "755", start + "Command \"quvane-build\" is not installed\n"},
        {"exit 0", "644", start + "Permission denied (os error 13)\n"},
        {"kill -9 $$", "755", "Error: Failed to get process exit code\n"},
    };
    for (const auto& c : cases) {
        const auto result = run_in_namespace(c.tool, c.mode, quvane + " build");
        EXPECT_EQ(result.out, c.out) << c.tool;
        EXPECT_EQ(result.status, 1) << c.tool;
    }
}

TEST_F(BuildCommand, ToolGetsDefaultSignalsAndOwnsCtrlC) {
    // SIGPIPE (13) must not reach the tool ignored, though quvane ignores it.
    const auto pipe = run_in_namespace(
        R"(mask=$(awk "/SigIgn/ {print \$2}" /proc/self/status); echo $(( 0x$mask >> 12 & 1 )))",
        "755", quvane + " build");
    EXPECT_EQ(pipe.out, "0\n");
    // An interrupt while the tool runs is the tool's to handle: quvane stays and reports its end.
    const auto interrupted =
        run_in_namespace("kill -INT $PPID; sleep 0.2; exit 5", "755", quvane + " build");
    EXPECT_EQ(interrupted.status, 5);
    const auto killed =
        run_in_namespace("kill -INT $PPID; kill -INT $$; sleep 1", "755", quvane + " build");
    EXPECT_EQ(killed.out, "Error: Failed to get process exit code\n");
    EXPECT_EQ(killed.status, 128 + SIGINT);
    // Started with SIGCHLD ignored, the tool's status must still be its own.
    const auto reaped = run_in_namespace("exit 4", "755", "trap '' CHLD; " + quvane + " build");
    EXPECT_EQ(reaped.out, "");
    EXPECT_EQ(reaped.status, 4);
}

TEST_F(BuildCommand, NeedsNoSuperuser) {
    const auto result =
        run_in_namespace("id -u; exit 7", "755",
                         "setpriv --reuid=65534 --regid=65534 --clear-groups " + quvane + " build");
    EXPECT_EQ(result.out, "65534\n");
    EXPECT_EQ(result.status, 7);
}

}  // namespace
}  // namespace quvane
