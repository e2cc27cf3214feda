#include "args/arguments.h"
#include "args/seconds.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "args/work_dir.h"

namespace quvane::args {
namespace {

std::vector<std::string> ids(std::initializer_list<const char*> values) {
    return {values.begin(), values.end()};
}

// The subcommand of `word` with `values` (identifiers or the build tool's arguments).
SubCommand of(std::string_view word, std::vector<std::string> values = {}, bool accepted = false) {
    return SubCommand(*subcommand_named(word), std::move(values), {accepted, false, false});
}

// The arguments of a command line that parses.
Arguments parsed(std::vector<std::string> words) {
    words.insert(words.begin(), "quvane");
    std::vector<const char*> argv;
    for (const std::string& word : words) {
        argv.push_back(word.c_str());
    }
    auto result = Arguments::parse(static_cast<int>(argv.size()), argv.data());
    EXPECT_TRUE(result.has_value() && std::holds_alternative<Arguments>(*result)) << words[1];
    return std::get<Arguments>(*result);
}

TEST(SubCommandParse, EachWordGivesItsSubcommandWithData) {
    const struct {
        std::vector<std::string> words;
        SubCommand expected;
        std::string_view name;
    } cases[] = {
        {{"build"}, of("build"), "Build"},
        {{"build", "-j", "4", "--foo", "-h"},
         of("build", ids({"-j", "4", "--foo", "-h"})),
         "Build"},
        {{"info", "a"}, of("info", ids({"a"})), "Info"},
        {{"target", "a"}, of("target", ids({"a"})), "Target"},
        {{"status", "a"}, of("status", ids({"a"})), "Status"},
        {{"list"}, of("list"), "List"},
        {{"check", "a"}, of("check", ids({"a"})), "Check"},
        {{"apply", "a", "b", "c", "a"}, of("apply", ids({"a", "b", "c", "a"})), "Apply"},
        {{"remove", "a"}, of("remove", ids({"a"})), "Remove"},
        {{"active", "a"}, of("active", ids({"a"})), "Active"},
        {{"deactive", "a"}, of("deactive", ids({"a"})), "Deactive"},
        {{"accept", "a"}, of("accept", ids({"a"})), "Accept"},
        {{"save"}, of("save"), "Save"},
        {{"restore"}, of("restore"), "Restore"},
        {{"restore", "--accepted"}, of("restore", {}, true), "Restore"},
        {{"apply", "lib\xFF", "ok"}, of("apply", ids({"lib\xEF\xBF\xBD", "ok"})), "Apply"},
        {{"build", "\xC3"}, of("build", ids({"\xEF\xBF\xBD"})), "Build"},
    };
    for (const auto& c : cases) {
        const Arguments arguments = parsed(c.words);
        EXPECT_EQ(arguments.command, c.expected) << c.words[0];
        EXPECT_EQ(arguments.command.name(), c.name);
    }
    EXPECT_EQ(parsed({"-w", "/tmp/x/../y/./", "-v", "list"}),
              (Arguments{{"/tmp/y", true}, of("list")}));
}

TEST(AbsoluteWorkDir, NormalisesLexically) {
    const std::string cwd = std::filesystem::current_path().string();
    const std::string parent = std::filesystem::current_path().parent_path().string();
    const struct {
        std::string_view typed;
        std::string expected;
    } cases[] = {
        {"/var/run/quvane", "/var/run/quvane"},
        {"/tmp/x/../y/./", "/tmp/y"},
        {"/../..", "/"},
        {"/", "/"},
        {"//a//b//", "/a/b"},
        {"/a/b/../../../c", "/c"},
        {"/a/./.", "/a"},
        {"run", cwd == "/" ? "/run" : cwd + "/run"},
        {".", cwd},
        {"", cwd},
        {"..", parent},
        {"x/../../y", parent == "/" ? "/y" : parent + "/y"},
        {"/a/\xFF", "/a/\xFF"},
    };
    for (const auto& c : cases) {
        const auto normalised = absolute_work_dir(c.typed);
        ASSERT_TRUE(normalised.has_value()) << c.typed;
        EXPECT_EQ(normalised->native(), c.expected) << c.typed;
    }
}

TEST(AbsoluteWorkDir, RelativePathFailsWhenTheCurrentDirectoryIsGone) {
    const auto original = std::filesystem::current_path();
    const auto doomed =
        std::filesystem::temp_directory_path() / ("quvane-gone-" + std::to_string(getpid()));
    std::filesystem::create_directory(doomed);
    std::filesystem::current_path(doomed);
    std::filesystem::remove(doomed);
    const auto relative = absolute_work_dir("run");
    const auto absolute = absolute_work_dir("/run");
    std::filesystem::current_path(original);
    ASSERT_FALSE(relative.has_value());
    EXPECT_EQ(relative.error().message(), "No such file or directory (os error 2)");
    EXPECT_TRUE(absolute.has_value());
}

TEST(ArgumentsDebugForm, MatchesTheVerboseLog) {
    const Arguments arguments{{"/var/run/quvane", true}, of("apply", ids({"P1"}))};
    EXPECT_EQ(arguments.debug_form(),
              "Arguments {\n"
              "    command: Apply {\n"
              "        identifiers: [\n"
              "            \"P1\",\n"
              "        ],\n"
              "    },\n"
              "    work_dir: \"/var/run/quvane\",\n"
              "    verbose: true,\n"
              "}");
    EXPECT_EQ(of("list").debug_form(), "List");
    EXPECT_EQ(of("build").debug_form(), "Build {\n    args: [],\n}");
    EXPECT_EQ(of("restore").debug_form(), "Restore {\n    accepted: false,\n}");
    EXPECT_EQ(of("info", ids({"a\"b\\c\n"})).debug_form(),
              "Info {\n    identifiers: [\n        \"a\\\"b\\\\c\\n\",\n    ],\n}");
}

}  // namespace
}  // namespace quvane::args

namespace quvane::args {
namespace {

TEST(Seconds, PlainDecimalsUpToTheCeilingBecomeWholeMicroseconds) {
    using std::chrono::microseconds;
    const struct {
        std::string text;
        long long micros;  // 0: refused
    } cases[] = {
        {"5", 5'000'000},
        {"0.5", 500'000},
        {".25", 250'000},
        {"5.", 5'000'000},
        {"0.0000001", 1},
        {"604800", 604'800'000'000},
        {"0", 0},
        {"0.0", 0},
        {"1e10", 0},
        {"0x10", 0},
        {" 5", 0},
        {"5 ", 0},
        {"-1", 0},
        {"", 0},
        {".", 0},
        {"604800.000001", 0},
        {"99999999999999999999", 0},
    };
    for (const auto& c : cases) {
        const auto seconds = parse_seconds(c.text);
        EXPECT_EQ(seconds ? seconds->count() : 0, c.micros) << c.text;
    }
    EXPECT_EQ(parse_seconds("1e10").error(), "'1e10' is not a positive number of seconds");
    EXPECT_EQ(parse_seconds("604801").error(),
              "'604801' is more than the longest wait, 604800 seconds");
}

}  // namespace
}  // namespace quvane::args
