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
    return SubCommand(*subcommand_named(word), std::move(values), accepted);
}

TEST(SubCommandConversion, EachWordGivesItsSubcommandWithData) {
    const struct {
        CommandMatches matches;
        SubCommand expected;
        std::string_view name;
    } cases[] = {
        {{"build", std::nullopt}, of("build"), "Build"},
        {{"build", ids({"-j", "4", "--foo", "-h"})},
         of("build", ids({"-j", "4", "--foo", "-h"})),
         "Build"},
        {{"info", ids({"a"})}, of("info", ids({"a"})), "Info"},
        {{"target", ids({"a"})}, of("target", ids({"a"})), "Target"},
        {{"status", ids({"a"})}, of("status", ids({"a"})), "Status"},
        {{"list", std::nullopt}, of("list"), "List"},
        {{"check", ids({"a"})}, of("check", ids({"a"})), "Check"},
        {{"apply", ids({"a", "b", "c", "a"})}, of("apply", ids({"a", "b", "c", "a"})), "Apply"},
        {{"remove", ids({"a"})}, of("remove", ids({"a"})), "Remove"},
        {{"active", ids({"a"})}, of("active", ids({"a"})), "Active"},
        {{"deactive", ids({"a"})}, of("deactive", ids({"a"})), "Deactive"},
        {{"accept", ids({"a"})}, of("accept", ids({"a"})), "Accept"},
        {{"save", std::nullopt}, of("save"), "Save"},
        {{"restore", std::nullopt, false}, of("restore"), "Restore"},
        {{"restore", std::nullopt, true}, of("restore", {}, true), "Restore"},
        {{"apply", ids({"lib\xFF", "ok"})}, of("apply", ids({"lib\xEF\xBF\xBD", "ok"})), "Apply"},
        {{"build", ids({"\xC3"})}, of("build", ids({"\xEF\xBF\xBD"})), "Build"},
    };
    for (const auto& c : cases) {
        const auto converted = SubCommand::from_matches(c.matches);
        ASSERT_TRUE(converted.has_value()) << c.matches.word;
        EXPECT_EQ(*converted, c.expected) << c.matches.word;
        EXPECT_EQ(converted->name(), c.name);
    }
}

TEST(SubCommandConversion, Failures) {
    const struct {
        CommandMatches matches;
        std::string message;
    } cases[] = {
        {{"Apply", ids({"a"})}, "Subcommand \"Apply\" is invalid"},
        {{"", std::nullopt}, "Subcommand \"\" is invalid"},
        {{"help", std::nullopt}, "Subcommand \"help\" is invalid"},
        {{"apply", std::vector<std::string>{}}, "Argument \"identifier\" is not present"},
        {{"build", std::vector<std::string>{}}, "Argument \"args\" is not present"},
    };
    for (const auto& c : cases) {
        const auto converted = SubCommand::from_matches(c.matches);
        ASSERT_FALSE(converted.has_value()) << c.matches.word;
        EXPECT_EQ(converted.error().message(), c.message);
    }
}

TEST(ArgumentsConversion, WrapsFailuresAsFailedToParseArguments) {
    const auto bad_word = Arguments::from_matches({CommandMatches{"lst"}, {"/x"}});
    ASSERT_FALSE(bad_word.has_value());
    EXPECT_EQ(bad_word.error().message(), "Failed to parse arguments");
    EXPECT_EQ(bad_word.error().causes(), ids({"Subcommand \"lst\" is invalid"}));

    const auto parsed = Arguments::from_matches({CommandMatches{"list"}, {"/tmp/x/../y/./", true}});
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, (Arguments{{"/tmp/y", true}, of("list")}));
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
