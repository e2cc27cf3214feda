// What `cmake --install` delivers: the binary, the manual page and the shell completions.
#include <unistd.h>

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/process.h"
#include "version.h"

namespace quvane {
namespace {

using ::testing::ElementsAreArray;

// cmake --install and cpack write into the build directory.
#define SKIP_UNLESS_BUILD_DIRECTORY_IS_WRITABLE() \
    if (::access(SHIPPED_DIR, W_OK) != 0)         \
    GTEST_SKIP() << "installing writes into the build directory, which this user cannot write"

TEST(Install, PutsBinaryManualAndCompletionsUnderDestdirAndPrefix) {
    SKIP_UNLESS_BUILD_DIRECTORY_IS_WRITABLE();
    testing::TemporaryDirectory destdir;
    const auto result =
        testing::run_installer({"/usr/bin/env", "DESTDIR=" + destdir.path().string(), CMAKE_COMMAND,
                                "--install", SHIPPED_DIR, "--prefix", "/opt/q"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    const auto root = destdir.path() / "opt/q";
    for (const char* file :
         {"sbin/quvane", "share/man/man8/quvane.8.gz", "share/bash-completion/completions/quvane",
          "share/zsh/site-functions/_quvane", "lib/systemd/system/quvane-restore.service",
          "share/doc/quvane/copyright"}) {
        EXPECT_TRUE(std::filesystem::is_regular_file(root / file)) << file;
    }
    EXPECT_EQ(testing::run_process({(root / "sbin/quvane").string(), "-V"}).out,
              "quvane " + std::string(quvane::version) + "\n");
    EXPECT_FALSE(std::filesystem::exists(root / "bin"));
}

TEST(Install, DebianPackageHoldsTheProgramItsPagesAndItsDependencies) {
    SKIP_UNLESS_BUILD_DIRECTORY_IS_WRITABLE();
    if (!std::filesystem::exists("/usr/bin/dpkg-shlibdeps")) {
        GTEST_SKIP() << "dpkg-shlibdeps (Debian's dpkg-dev) is not installed";
    }
    testing::TemporaryDirectory packages;
    // A builder's umask must not reach the modes in the package.
    const auto built = testing::run_installer(
        {"/bin/sh", "-c", "umask 077; exec \"$0\" \"$@\"", CPACK_COMMAND, "-G", "DEB", "-B",
         packages.path().string(), "--config", SHIPPED_DIR "/CPackConfig.cmake"});
    ASSERT_EQ(built.status, 0) << built.out << built.err;
    std::filesystem::path deb;
    for (const auto& entry : std::filesystem::directory_iterator(packages.path())) {
        if (entry.path().extension() == ".deb") {
            deb = entry.path();
        }
    }
    ASSERT_THAT(deb.filename().string(),
                ::testing::StartsWith("quvane_" + std::string(quvane::version) + "_"))
        << built.out;

    const std::string depends =
        testing::run_process({"/usr/bin/dpkg-deb", "--field", deb.string(), "Depends"}).out;
    EXPECT_THAT(depends, ::testing::HasSubstr("libsimdjson"));
    EXPECT_THAT(depends, ::testing::HasSubstr("libstdc++6"));
    EXPECT_THAT(depends, ::testing::HasSubstr("libfmt"));

    testing::TemporaryDirectory root;
    ASSERT_EQ(testing::run_process({"/usr/bin/dpkg-deb", "-x", deb.string(), root.path().string()})
                  .status,
              0);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root.path())) {
        if (entry.is_regular_file()) {
            files.push_back(std::filesystem::relative(entry.path(), root.path()).string());
        }
    }
    std::sort(files.begin(), files.end());
    EXPECT_THAT(
        files, ElementsAreArray({"usr/lib/systemd/system/quvane-metrics.service",
                                 "usr/lib/systemd/system/quvane-metrics.timer",
                                 "usr/lib/systemd/system/quvane-restore.service", "usr/sbin/quvane",
                                 "usr/share/bash-completion/completions/quvane",
                                 "usr/share/doc/quvane/changelog.Debian.gz",
                                 "usr/share/doc/quvane/copyright", "usr/share/man/man8/quvane.8.gz",
                                 "usr/share/quvane/grafana/quvane.json",
                                 "usr/share/quvane/prometheus/quvane.rules.yml",
                                 "usr/share/zsh/vendor-completions/_quvane"}));
    const std::string listing =
        testing::run_process({"/usr/bin/dpkg-deb", "--contents", deb.string()}).out;
    for (std::size_t at = 0; at < listing.size(); at = listing.find('\n', at) + 1) {
        const std::string mode = listing.substr(at, 10);
        EXPECT_TRUE(mode == "drwxr-xr-x" || mode == "-rw-r--r--" || mode == "-rwxr-xr-x")
            << listing.substr(at, listing.find('\n', at) - at);
    }
    if (std::filesystem::exists("/usr/bin/lintian")) {
        const auto checked = testing::run_process({"/usr/bin/lintian", deb.string()});
        EXPECT_EQ(checked.status, 0) << checked.out;
        EXPECT_EQ(checked.out, "");
    }
    EXPECT_EQ(testing::run_process({(root.path() / "usr/sbin/quvane").string(), "--version"}).out,
              "quvane " + std::string(quvane::version) + "\n");
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
