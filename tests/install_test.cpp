// What `cmake --install` delivers: the binary, the manual page and the shell completions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/process.h"
#include "support/stub_daemon.h"

namespace quvane {
namespace {

using ::testing::ElementsAreArray;

TEST(Install, PutsBinaryManualAndCompletionsUnderDestdirAndPrefix) {
    testing::TemporaryDirectory destdir;
    const auto result =
        testing::run_process({"/usr/bin/env", "DESTDIR=" + destdir.path().string(), CMAKE_COMMAND,
                              "--install", BINARY_DIR, "--prefix", "/opt/q"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    const auto root = destdir.path() / "opt/q";
    for (const char* file :
         {"bin/quvane", "share/man/man8/quvane.8", "share/bash-completion/completions/quvane",
          "share/zsh/vendor-completions/_quvane"}) {
        EXPECT_TRUE(std::filesystem::is_regular_file(root / file)) << file;
    }
    EXPECT_EQ(testing::run_process({(root / "bin/quvane").string(), "-V"}).out,
              "quvane 0.1.3-5.qx10\n");
    EXPECT_FALSE(std::filesystem::exists(root / "bin/quvaned-dev"));
}

TEST(Install, ManualPageRendersWithoutWarnings) {
    if (!std::filesystem::exists("/usr/bin/man")) {
        GTEST_SKIP() << "man is not installed";
    }
    const auto result =
        testing::run_process({"/usr/bin/env", "MANWIDTH=80", "/usr/bin/man", "--warnings", "-l",
                              QUVANE_SOURCE_DIR "/doc/quvane.8"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    for (const char* text : {"build", "restore", "--accepted", "quvaned.sock", "patch_op.lock",
                             "EXIT STATUS", "EXAMPLES"}) {
        EXPECT_NE(result.out.find(text), std::string::npos) << text;
    }
}

// The words bash's completion function offers for a command line whose last word is being typed.
std::vector<std::string> complete(const std::vector<std::string>& words) {
    std::string array;
    for (const auto& word : words) {
        array += " '" + word + "'";
    }
    const auto result = testing::run_process(
        {"/bin/bash", "-c",
         std::string("source ") + QUVANE_SOURCE_DIR + "/completions/quvane.bash; COMP_WORDS=(" +
             array + "); COMP_CWORD=" + std::to_string(words.size() - 1) +
             "; _quvane; printf '%s\\n' \"${COMPREPLY[@]}\" | sort"});
    std::vector<std::string> offered;
    std::size_t start = 0;
    while (start < result.out.size()) {
        const std::size_t end = result.out.find('\n', start);
        if (end > start)
            offered.push_back(result.out.substr(start, end - start));
        start = end + 1;
    }
    return offered;
}

TEST(BashCompletion, OffersSubcommandsOptionsAndPatches) {
    const std::string quvane = testing::quvane_binary();
    EXPECT_THAT(complete({quvane, "re"}), ElementsAreArray({"remove", "restore"}));
    EXPECT_THAT(complete({quvane, "-v", "a"}), ElementsAreArray({"accept", "active", "apply"}));
    EXPECT_THAT(complete({quvane, "--w"}), ElementsAreArray({"--work-dir"}));
    EXPECT_THAT(complete({quvane, "restore", "--"}), ElementsAreArray({"--accepted", "--help"}));
    EXPECT_THAT(complete({quvane, "list", "-"}), ElementsAreArray({"--help", "-h"}));

    testing::TemporaryDirectory dir;
    testing::StubDaemon daemon(dir.path() / "quvaned.sock", [](const std::string& request) {
        return testing::Reply::result(
            request,
            R"([["3f2a-1","CVE-2024-1086","Actived"],["8d17-2","glibc fix","NotApplied"]])");
    });
    EXPECT_THAT(complete({quvane, "-w", dir.path().string(), "apply", ""}),
                ElementsAreArray({"3f2a-1", "8d17-2", "CVE-2024-1086", "glibc fix"}));
    EXPECT_THAT(complete({quvane, "-w", dir.path().string(), "info", "CVE-2024-1086", "CV"}),
                ElementsAreArray({"CVE-2024-1086"}));
    // No daemon: nothing offered, nothing printed.
    testing::TemporaryDirectory empty;
    EXPECT_THAT(complete({quvane, "-w", empty.path().string(), "apply", ""}), ::testing::IsEmpty());
}

}  // namespace
}  // namespace quvane
