// The units as systemd and a reboot see them: systemd-analyze accepts the boot unit and the
// metrics timer as installed, and the boot unit's own command line brings an accepted and saved
// patch back after the daemon lost it.
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/end_to_end.h"

namespace quvane {
namespace {

// The unit as `cmake --install` puts it under /usr in `destdir`.
std::filesystem::path install_unit(const std::filesystem::path& destdir) {
    const auto result =
        testing::run_installer({"/usr/bin/env", "DESTDIR=" + destdir.string(), CMAKE_COMMAND,
                                "--install", SHIPPED_DIR, "--prefix", "/usr"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    return destdir / "usr/lib/systemd/system/quvane-restore.service";
}

// The words of the unit's `key=` line.
std::vector<std::string> command_line(const std::filesystem::path& unit, const std::string& key) {
    std::ifstream file(unit);
    std::vector<std::string> words;
    for (std::string line; std::getline(file, line);) {
        if (line.starts_with(key + "=")) {
            std::istringstream split(line.substr(key.size() + 1));
            for (std::string word; split >> word;) {
                words.push_back(word);
            }
        }
    }
    return words;
}

class BootUnit : public testing::EndToEnd {
  protected:
    void SetUp() override {
        if (::access(SHIPPED_DIR, W_OK) != 0) {
            GTEST_SKIP() << "installing writes into the build directory, which this user cannot "
                            "write";
        }
    }
};

TEST_F(BootUnit, SystemdAcceptsItAsInstalled) {
    if (!std::filesystem::exists("/usr/bin/systemd-analyze")) {
        GTEST_SKIP() << "systemd-analyze (Debian's systemd) is not installed";
    }
    testing::TemporaryDirectory destdir;
    const auto unit = install_unit(destdir.path());
    const auto verify = [&] {
        const auto verified = testing::run_process(
            {"/usr/bin/systemd-analyze", "verify", "--root=" + destdir.path().string(), "--man=no",
             "--recursive-errors=no", "quvane-restore.service", "quvane-metrics.service",
             "quvane-metrics.timer"});
        EXPECT_EQ(verified.status, 0) << verified.err;
        EXPECT_EQ(verified.err, "");
    };
    // With only our package installed, and beside the daemon's own unit (a stand-in: it is not
    // ours, and only faults of ours count).
    verify();
    std::ofstream(unit.parent_path() / "quvaned.service")
        << "[Unit]\nDescription=stand-in\n[Service]\nExecStart=/usr/sbin/quvane\n";
    verify();
    // The sandbox, as systemd scores it: at most 3.0 of 10 for each service.
    for (const std::string service : {"quvane-restore.service", "quvane-metrics.service"}) {
        const auto scored =
            testing::run_process({"/usr/bin/systemd-analyze", "security", "--offline=true",
                                  "--no-pager", "--root=" + destdir.path().string(), service});
        const auto at = scored.out.find("Overall exposure level for " + service + ": ");
        ASSERT_NE(at, std::string::npos) << scored.out << scored.err;
        const double exposure = std::stod(scored.out.substr(at + service.size() + 29, 4));
        EXPECT_LE(exposure, 3.0) << service << "\n" << scored.out;
    }
    EXPECT_EQ(command_line(unit, "ExecStart"),
              (std::vector<std::string>{"/usr/sbin/quvane", "--timeout", "60", "restore",
                                        "--accepted", "--if-saved"}));
}

TEST_F(BootUnit, ItsCommandBringsTheAcceptedPatchBackAfterAReboot) {
    testing::TemporaryDirectory destdir;
    std::vector<std::string> start = command_line(install_unit(destdir.path()), "ExecStart");
    ASSERT_FALSE(start.empty());
    start.erase(start.begin());  // the installed binary: the one under test runs instead

    // A host where nothing was ever saved boots without a failed unit.
    const auto fresh = run(start);
    EXPECT_EQ(fresh.status, 0) << fresh.out;

    const std::string patch = "CVE-2024-1086";
    EXPECT_EQ(run({"apply", patch}).status, 0);
    EXPECT_EQ(run({"accept", patch}).status, 0);
    EXPECT_EQ(run({"save"}).status, 0);
    restart_daemon();
    EXPECT_EQ(run({"status", patch}).out, patch + ": NOT-APPLIED\n");
    // As the sandbox runs it: root without a single capability.
    std::vector<std::string> sandboxed =
        testing::superuser_prefix().value_or(std::vector<std::string>{});
    sandboxed.insert(sandboxed.end(),
                     {"/usr/bin/setpriv", "--bounding-set=-all", "--inh-caps=-all",
                      "--no-new-privs", testing::quvane_binary(), "-w", dir.path().string()});
    sandboxed.insert(sandboxed.end(), start.begin(), start.end());
    const auto started = testing::run_process(sandboxed);
    EXPECT_EQ(started.status, 0) << started.out;
    EXPECT_EQ(run({"status", patch}).out, patch + ": ACCEPTED\n");
}

}  // namespace
}  // namespace quvane
