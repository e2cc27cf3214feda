// The README's and the manual page's examples, run as written against the development daemon:
// a wrong example fails here rather than on an administrator's machine.
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "args/program_options.h"
#include "args/subcommand_rows.h"
#include "executor/operation_lock.h"
#include "support/end_to_end.h"

namespace quvane {
namespace {

std::vector<std::string> lines_of(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

void replace_all(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// Whether `actual` is `expected`, where "..." in `expected` stands for any text.
bool matches(const std::string& expected, const std::string& actual) {
    std::size_t at = 0;
    std::size_t from = 0;
    for (std::size_t gap = expected.find("..."); gap != std::string::npos;
         gap = expected.find("...", from)) {
        const std::string part = expected.substr(from, gap - from);
        const std::size_t found = actual.find(part, at);
        if (found == std::string::npos || (from == 0 && found != 0)) {
            return false;
        }
        at = found + part.size();
        from = gap + 3;
    }
    const std::string last = expected.substr(from);
    return actual.size() >= at + last.size() && actual.ends_with(last) &&
           (from > 0 || actual == expected);
}

// One command of a transcript and what it must show.
struct Step {
    std::string command;
    std::string comment;                // after "#" on the command's line
    std::optional<std::string> output;  // nullopt: not shown
    int status = 0;
};

class Documentation : public testing::EndToEnd {
  protected:
    // Runs `script` in bash as the superuser (or, `unprivileged`, as an ordinary user), with
    // `quvane` the binary under test on this fixture's work directory.
    testing::ProcessResult shell(const std::string& script, bool unprivileged = false,
                                 const std::filesystem::path& work_dir = {}) {
        std::string binary = "'" + testing::quvane_binary() + "'";
        if (unprivileged && ::geteuid() == 0) {
            // Only the real user changes, as for the other unprivileged runs: the binary stays
            // reachable wherever the build lies.
            binary = "setpriv --reuid=65534 --regid=65534 --clear-groups " + binary;
        }
        const std::string define = "quvane() { if [ \"$1\" = -w ]; then command " + binary +
                                   " \"$@\"; else command " + binary + " -w '" +
                                   (work_dir.empty() ? dir.path() : work_dir).string() +
                                   "' \"$@\"; fi; }\n";
        std::vector<std::string> argv;
        if (!unprivileged) {
            argv = testing::superuser_prefix().value_or(std::vector<std::string>{});
        }
        argv.insert(argv.end(), {"/bin/bash", "-c", define + script});
        return testing::run_process(argv);
    }

    // Runs the steps in order and checks each shown output and exit status.
    void run_transcript(const std::vector<Step>& steps, const std::string& where) {
        const std::string nowhere = (dir.path() / "nowhere").string();
        for (Step step : steps) {
            replace_all(step.command, "/tmp/quvane-dev", dir.path().string());
            replace_all(step.command, "/tmp/nowhere", nowhere);
            // A boot between two commands: the daemon restarted empty, the boot unit not run.
            if (step.comment.find("after a boot with quvane.restore=0") != std::string::npos) {
                restart_daemon(true);
            }
            std::optional<executor::OperationLock> held;
            if (step.comment.find("another run holds the lock") != std::string::npos) {
                held.emplace(*executor::OperationLock::acquire(dir.path() / "patch_op.lock", true));
            }
            const bool unprivileged = step.comment.find("ordinary user") != std::string::npos;
            const auto result = shell(step.command, unprivileged);
            held.reset();
            if (!step.output) {
                continue;
            }
            std::string expected = *step.output;
            replace_all(expected, "/tmp/quvane-dev", dir.path().string());
            replace_all(expected, "/tmp/nowhere", nowhere);
            // A descriptor's number depends on what the test runner leaves open.
            const std::regex descriptor("for fd [0-9]+");
            expected = std::regex_replace(expected, descriptor, "for fd N");
            const std::string printed =
                std::regex_replace(result.out + result.err, descriptor, "for fd N");
            EXPECT_TRUE(matches(expected, printed))
                << where << ": " << step.command << "\n--- shown:\n"
                << expected << "--- printed:\n"
                << result.out << result.err;
            EXPECT_EQ(result.status, step.status) << where << ": " << step.command;
        }
    }
};

// The "$ quvane" transcripts of a ```text block.
std::vector<Step> readme_steps(const std::vector<std::string>& block) {
    std::vector<Step> steps;
    for (const std::string& line : block) {
        if (line.starts_with("$ ")) {
            Step step;
            step.command = line.substr(2);
            if (const std::size_t hash = step.command.find("  #"); hash != std::string::npos) {
                step.comment = step.command.substr(hash + 3);
                step.command.resize(hash);
            }
            if (const std::size_t exit = step.comment.find("exit status ");
                exit != std::string::npos) {
                step.status = std::stoi(step.comment.substr(exit + 12));
            }
            step.output = "";
            steps.push_back(step);
        } else if (!steps.empty()) {
            Step& step = steps.back();
            if (line.starts_with("(exit status ")) {
                step.status = std::stoi(line.substr(13));
            } else {
                *step.output += line + "\n";
            }
        }
    }
    for (Step& step : steps) {
        // A transcript separates its commands with a blank line.
        while (step.output->ends_with("\n\n")) {
            step.output->pop_back();
        }
        if (*step.output == "\n") {
            step.output = "";
        }
    }
    return steps;
}

TEST_F(Documentation, ReadmeTranscriptsPrintWhatTheyShow) {
    const auto lines = lines_of(QUVANE_SOURCE_DIR "/README.md");
    std::size_t blocks = 0;
    std::size_t since_block = 0;  // the first line after the previous block
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != "```text") {
            continue;
        }
        std::string before;
        for (std::size_t j = since_block; j < i; ++j) {
            before += lines[j] + " ";
        }
        if (before.find("same daemon") == std::string::npos) {
            restart_daemon();
        }
        std::vector<std::string> block;
        for (++i; i < lines.size() && lines[i] != "```"; ++i) {
            block.push_back(lines[i]);
        }
        since_block = i + 1;
        run_transcript(readme_steps(block), "README.md line " + std::to_string(i));
        ++blocks;
    }
    EXPECT_GE(blocks, 3U);
}

TEST_F(Documentation, ReadmeScriptsAreRightOnEveryRun) {
    // A patch accepted and saved, as a fleet would have it.
    ASSERT_EQ(run({"apply", "CVE-2023-4911"}).status, 0);
    ASSERT_EQ(run({"accept", "CVE-2023-4911"}).status, 0);
    const auto lines = lines_of(QUVANE_SOURCE_DIR "/README.md");
    std::size_t scripts = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != "```sh") {
            continue;
        }
        std::string script;
        for (++i; i < lines.size() && lines[i] != "```"; ++i) {
            script += lines[i] + "\n";
        }
        ++scripts;
        // With the daemon down a recipe fails, and says why.
        const auto down = shell(script, false, dir.path() / "nowhere");
        EXPECT_NE(down.status, 0) << script;
        EXPECT_THAT(down.out + down.err, ::testing::HasSubstr("Cannot connect to quvane daemon"))
            << script;
        for (int round = 1; round <= 2; ++round) {
            const std::size_t requests = daemon.requests().size();
            const auto result = shell(script);
            EXPECT_EQ(result.status, 0) << script << result.out << result.err;
            // Every patch a script names as not active is not.
            std::istringstream printed(result.out);
            for (std::string name; std::getline(printed, name);) {
                const std::string status = run({"status", name}).out;
                if (status.starts_with(name + ": ")) {
                    EXPECT_THAT(status, ::testing::Not(::testing::HasSubstr("ACTIVED")));
                    EXPECT_THAT(status, ::testing::Not(::testing::HasSubstr("ACCEPTED")));
                }
            }
            if (round == 2) {
                // The second run changes nothing: it only asks.
                for (std::size_t r = requests; r < daemon.requests().size(); ++r) {
                    EXPECT_THAT(testing::view_request(daemon.requests()[r]).method,
                                ::testing::StartsWith("get_"))
                        << script;
                }
            }
        }
    }
    EXPECT_EQ(scripts, 3U);
    EXPECT_EQ(run({"status", "CVE-2024-1086"}).out, "CVE-2024-1086: ACTIVED\n");
}

TEST_F(Documentation, ManualPageExamplesPrintWhatTheyShow) {
    const auto lines = lines_of(QUVANE_SOURCE_DIR "/doc/quvane.8");
    const auto start = std::find(lines.begin(), lines.end(), ".SH EXAMPLES");
    ASSERT_NE(start, lines.end());
    std::vector<Step> steps;
    bool literal = false;
    for (auto line = start + 1; line != lines.end() && !line->starts_with(".SH"); ++line) {
        if (*line == ".nf" || *line == ".fi") {
            literal = *line == ".nf";
            continue;
        }
        if (!literal) {
            continue;
        }
        std::string text = *line;
        replace_all(text, "\\-", "-");
        replace_all(text, "\\e", "\\");
        if (text.starts_with("# ") || text.starts_with("$ ")) {
            steps.push_back({text.substr(2), "", std::nullopt, 0});
        } else if (!steps.empty()) {
            steps.back().output = steps.back().output.value_or("") + text + "\n";
        }
    }
    EXPECT_GE(steps.size(), 8U);
    run_transcript(steps, "quvane.8");
}

// The manual page names every subcommand and program option of the rows, so that a row added
// without its page fails here.
TEST(ManualPage, NamesEveryRow) {
    std::string section;
    std::map<std::string, std::string> sections;
    for (std::string line : lines_of(QUVANE_SOURCE_DIR "/doc/quvane.8")) {
        if (line.starts_with(".SH ")) {
            section = line.substr(4);
            continue;
        }
        replace_all(line, "\\-", "-");
        sections[section] += line + "\n";
    }
    for (const args::SubcommandRow& row : args::subcommand_rows) {
        const std::regex entry("\n\\.B[IR]? \"?" + std::string(row.word) + "[ \"\n]");
        EXPECT_TRUE(std::regex_search(sections["SUBCOMMANDS"], entry)) << row.word;
    }
    for (const args::ProgramOption& option : args::program_options) {
        EXPECT_THAT(sections["OPTIONS"], ::testing::HasSubstr(std::string(option.long_name)))
            << option.long_name;
        // The synopsis names every option a run can take, by one of its names.
        const std::string_view shown =
            option.short_name.empty() ? option.long_name : option.short_name;
        EXPECT_THAT(sections["SYNOPSIS"], ::testing::HasSubstr(std::string(shown)))
            << option.long_name;
    }
}

}  // namespace
}  // namespace quvane
