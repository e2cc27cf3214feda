// What `cmake --install` delivers: the binary, the manual page and the shell completions.
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/process.h"

namespace quvane {
namespace {

using ::testing::ElementsAreArray;

TEST(Install, PutsBinaryManualAndCompletionsUnderDestdirAndPrefix) {
    if (::access(BINARY_DIR, W_OK) != 0) {
        GTEST_SKIP() << "cmake --install writes its manifest into the build directory, which "
                        "this user cannot write";
    }
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

}  // namespace
}  // namespace quvane
