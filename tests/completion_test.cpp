// The shell completions, driven as the shells drive them, against the stand-in daemon.
#include <algorithm>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "args/program_options.h"
#include "args/subcommand_rows.h"
#include "support/process.h"
#include "support/stub_daemon.h"

namespace quvane {
namespace {

using ::testing::ElementsAreArray;
using ::testing::UnorderedElementsAreArray;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// A single-quoted shell word.
std::string quoted(const std::string& word) {
    std::string out = "'";
    for (const char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

class Completion : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto prefix = testing::superuser_prefix();
        if (!prefix) {
            GTEST_SKIP() << "patches are completed for the superuser only, and this machine has "
                            "neither root nor user namespaces";
        }
        as_root = *prefix;
    }

    // The words bash's completion function offers when the last of `words` is being typed, run
    // in `directory`.
    std::vector<std::string> bash(const std::vector<std::string>& words,
                                  const std::filesystem::path& directory = {}) {
        std::string array;
        for (const auto& word : words) {
            array += " " + quoted(word);
        }
        std::vector<std::string> argv = as_root;
        argv.insert(argv.end(), {"/bin/bash", "-c",
                                 std::string("source ") + BINARY_DIR +
                                     "/completions/quvane.bash; COMP_WORDS=(" + array +
                                     "); COMP_CWORD=" + std::to_string(words.size() - 1) +
                                     "; _quvane; printf '%s\\n' \"${COMPREPLY[@]}\" | sort"});
        return lines_of(testing::run_process(argv, directory).out);
    }

    // The matches zsh's completion system adds when `line` is typed and Tab pressed.
    std::vector<std::string> zsh(const std::string& line) {
        std::vector<std::string> argv = as_root;
        argv.insert(argv.end(), {"/usr/bin/timeout", "20", "/usr/bin/zsh", "-f",
                                 std::string(QUVANE_SOURCE_DIR) + "/tests/support/zsh_complete.zsh",
                                 std::string(BINARY_DIR) + "/completions", line});
        const std::string out = testing::run_process(argv).out;
        std::vector<std::string> matches;
        for (std::size_t open = out.find('\1'); open != std::string::npos;
             open = out.find('\1', open)) {
            const std::size_t close = out.find('\2', open);
            if (close == std::string::npos)
                break;
            matches.push_back(out.substr(open + 1, close - open - 1));
            open = close + 1;
        }
        std::sort(matches.begin(), matches.end());
        return matches;
    }

    std::vector<std::string> as_root;
    testing::TemporaryDirectory dir;
    const std::string quvane = testing::quvane_binary();
};

TEST_F(Completion, BashOffersSubcommandsOptionsAndFittingPatches) {
    EXPECT_THAT(bash({quvane, "re"}), ElementsAreArray({"remove", "restore"}));
    EXPECT_THAT(bash({quvane, "-v", "a"}), ElementsAreArray({"accept", "active", "apply"}));
    EXPECT_THAT(bash({quvane, "--wo"}), ElementsAreArray({"--work-dir"}));
    EXPECT_THAT(bash({quvane, "restore", "--"}),
                ElementsAreArray({"--accepted", "--help", "--if-saved"}));
    EXPECT_THAT(bash({quvane, "save", "--"}), ElementsAreArray({"--force", "--help"}));
    EXPECT_THAT(bash({quvane, "list", "-"}), ElementsAreArray({"--help", "-h"}));

    testing::StubDaemon daemon(dir.path() / "quvaned.sock", [](const std::string& request) {
        return testing::Reply::result(
            request, R"([["3f2a-1","CVE-2024-1086","Actived"],["8d17-2","glibc fix","NotApplied"],)"
                     R"(["77aa-3","old","Deactived"]])");
    });
    const std::string work_dir = dir.path().string();
    EXPECT_THAT(bash({quvane, "-w", work_dir, "apply", ""}),
                ElementsAreArray({"8d17-2", "glibc\\ fix"}));
    EXPECT_THAT(bash({quvane, "--work-dir", "=", work_dir, "active", ""}),
                ElementsAreArray({"77aa-3", "old"}));
    EXPECT_THAT(bash({quvane, "--work-dir=" + work_dir, "deactive", ""}),
                ElementsAreArray({"3f2a-1", "CVE-2024-1086"}));
    EXPECT_THAT(bash({quvane, "-w", work_dir, "info", "CVE-2024-1086", "CV"}),
                ElementsAreArray({"CVE-2024-1086"}));
    // No daemon: nothing offered, nothing printed.
    testing::TemporaryDirectory empty;
    EXPECT_THAT(bash({quvane, "-w", empty.path().string(), "apply", ""}), ::testing::IsEmpty());
}

// Every subcommand and every program option of the tables, past an option's value.
TEST_F(Completion, BothShellsOfferEveryRowOfBothTables) {
    std::vector<std::string> words;
    std::vector<std::string> long_options;
    for (const args::SubcommandRow& row : args::subcommand_rows) {
        words.emplace_back(row.word);
        EXPECT_THAT(bash({quvane, "--timeout", "5", std::string(row.word.substr(0, 3))}),
                    ::testing::Contains(std::string(row.word)));
    }
    for (const args::ProgramOption& option : args::program_options) {
        long_options.emplace_back(option.long_name);
    }
    std::sort(words.begin(), words.end());
    std::sort(long_options.begin(), long_options.end());
    EXPECT_THAT(bash({quvane, "--wait", "=", "2", ""}), ElementsAreArray(words));
    EXPECT_THAT(bash({quvane, "--"}), ElementsAreArray(long_options));
    EXPECT_THAT(bash({quvane, "--timeout", ""}), ::testing::IsEmpty());
    if (std::filesystem::exists("/usr/bin/zsh")) {
        // _describe may add each match twice (a listing pass and the real one).
        std::vector<std::string> offered = zsh(quvane + " --timeout 5 ");
        offered.erase(std::unique(offered.begin(), offered.end()), offered.end());
        EXPECT_THAT(offered, ElementsAreArray(words));
        EXPECT_THAT(zsh(quvane + " --"), ::testing::IsSupersetOf(long_options));
    }

    testing::StubDaemon daemon(dir.path() / "quvaned.sock", [](const std::string& request) {
        return testing::Reply::result(request, R"([["8d17-2","fix","NotApplied"]])");
    });
    EXPECT_THAT(bash({quvane, "--timeout", "5", "-w", dir.path().string(), "apply", ""}),
                ElementsAreArray({"8d17-2", "fix"}));
}

TEST_F(Completion, ZshOffersSubcommandsAndFittingPatches) {
    if (!std::filesystem::exists("/usr/bin/zsh")) {
        GTEST_SKIP() << "zsh is not installed";
    }
    EXPECT_THAT(zsh(quvane + " re"), ElementsAreArray({"remove", "restore"}));
    testing::StubDaemon daemon(dir.path() / "quvaned.sock", [](const std::string& request) {
        return testing::Reply::result(
            request,
            R"x([["3f2a-1","CVE-2024-1086","Actived"],["8d17-2","$(touch x)","NotApplied"]])x");
    });
    const std::string work_dir = dir.path().string();
    EXPECT_THAT(zsh(quvane + " -w " + work_dir + " apply "),
                ElementsAreArray({"$(touch x)", "8d17-2"}));
    EXPECT_THAT(zsh(quvane + " --work-dir=" + work_dir + " -v info C"),
                ElementsAreArray({"CVE-2024-1086"}));
}

TEST_F(Completion, BashTreatsPatchNamesAsData) {
    const std::filesystem::path ran = dir.path() / "ran";
    const std::vector<std::string> names{"$(touch " + ran.string() + ")",
                                         "`touch " + ran.string() + "`",
                                         "*",
                                         "~root",
                                         "${HOME}",
                                         "a'b\"c"};
    std::string list = "[";
    std::vector<std::string> expected = names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string uuid = "u" + std::to_string(i);
        expected.push_back(uuid);
        list += (i > 0 ? ",[\"" : "[\"") + uuid + "\",\"" +
                (names[i] == "a'b\"c" ? std::string("a'b\\\"c") : names[i]) + "\",\"NotApplied\"]";
    }
    list += "]";
    testing::StubDaemon daemon(dir.path() / "quvaned.sock", [&](const std::string& request) {
        return testing::Reply::result(request, list);
    });
    testing::TemporaryDirectory files;  // what a glob would find
    std::ofstream(files.path() / "f1");
    std::vector<std::string> offered =
        bash({quvane, "-w", dir.path().string(), "apply", ""}, files.path());
    EXPECT_FALSE(std::filesystem::exists(ran));
    // Each offered word, read back by the shell as a word on the command line, is the name.
    std::string script = "for word in";
    for (const auto& word : offered) {
        script += " " + quoted(word);
    }
    script += "; do eval \"printf '%s\\n' $word\"; done";
    const auto read_back = testing::run_process({"/bin/bash", "-c", script}, files.path());
    EXPECT_THAT(lines_of(read_back.out), UnorderedElementsAreArray(expected));
    EXPECT_FALSE(std::filesystem::exists(ran));
}

}  // namespace
}  // namespace quvane
