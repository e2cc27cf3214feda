#include "error_report.h"

#include <gtest/gtest.h>

#include "main/startup.h"

namespace quvane {
namespace {

Error chain(std::vector<std::string> messages) {
    Error error(messages.back());
    for (auto it = messages.rbegin() + 1; it != messages.rend(); ++it) {
        error = std::move(error).context(*it);
    }
    return error;
}

TEST(ErrorReport, ShowsCausesByCount) {
    const struct {
        Error error;
        std::string report;
    } cases[] = {
        {Error("Failed to parse response"), "Failed to parse response"},
        {chain({"Failed to parse arguments", "No such file or directory (os error 2)"}),
         "Failed to parse arguments\n\nCaused by:\n    No such file or directory (os error 2)"},
        {chain({"top", "middle", "bottom"}), "top\n\nCaused by:\n    0: middle\n    1: bottom"},
        {chain({"Operation failed", "0. a\n\n1. b"}),
         "Operation failed\n\nCaused by:\n    0. a\n    \n    1. b"},
        {chain({"top", "one\ntwo", "three"}),
         "top\n\nCaused by:\n    0: one\n       two\n    1: three"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(report_form(c.error), c.report);
    }
}

TEST(ErrorReport, ElevenCausesKeepTheirNumbersRightAligned) {
    std::vector<std::string> messages{"top"};
    for (int i = 0; i < 11; ++i) {
        messages.push_back("cause " + std::to_string(i));
    }
    std::string expected = "top\n\nCaused by:";
    for (int i = 0; i < 11; ++i) {
        expected +=
            (i < 10 ? "\n    " : "\n   ") + std::to_string(i) + ": cause " + std::to_string(i);
    }
    EXPECT_EQ(report_form(chain(messages)), expected);
}

TEST(ErrorValue, ContextKeepsTheWholeChainInOrder) {
    const Error inner = Error("root cause").context("middle");
    const Error outer = inner.context("outer");
    EXPECT_EQ(outer.message(), "outer");
    EXPECT_EQ(outer.causes(), (std::vector<std::string>{"middle", "root cause"}));
    EXPECT_EQ(inner.message(), "middle");
}

// Records which subcommands reached it and answers with a fixed result.
class RecordingExecutor final : public executor::CommandExecutor {
  public:
    RecordingExecutor(std::vector<std::string>& calls, std::string name, Result<> result)
        : calls_(calls), name_(std::move(name)), result_(std::move(result)) {}
    Result<> invoke(const args::SubCommand& command) override {
        calls_.push_back(name_ + ":" + std::string(command.name()));
        return result_;
    }

  private:
    std::vector<std::string>& calls_;
    std::string name_;
    Result<> result_;
};

TEST(Dispatch, OffersTheCommandInOrderAndStopsAtTheFirstError) {
    const struct {
        Result<> first;
        Result<> second;
        std::vector<std::string> calls;
        bool ok;
    } cases[] = {
        {{}, {}, {"first:List", "second:List"}, true},
        {fail("boom"), {}, {"first:List"}, false},
        {{}, fail("late"), {"first:List", "second:List"}, false},
    };
    for (const auto& c : cases) {
        std::vector<std::string> calls;
        Executors executors;
        executors.push_back(std::make_unique<RecordingExecutor>(calls, "first", c.first));
        executors.push_back(std::make_unique<RecordingExecutor>(calls, "second", c.second));
        const auto result = dispatch(executors, args::SubCommand{*args::subcommand_named("list")});
        EXPECT_EQ(result.has_value(), c.ok);
        EXPECT_EQ(calls, c.calls);
    }
}

}  // namespace
}  // namespace quvane
