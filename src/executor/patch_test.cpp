// The patch executor in process, over the recording transport: what each row makes it call,
// what it hands the sink, and in which order against the lock.
#include "executor/patch.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "os/file_descriptor.h"
#include "support/process.h"
#include "support/recording_transport.h"

namespace quvane::executor {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// What the executor handed over, one line per event.
class RecordingSink final : public ResultSink {
  public:
    void notice(args::WaitLine line) override {
        events.push_back(line == args::WaitLine::BeforeLock ? "wait before lock"
                                                            : "wait after lock");
    }
    void show(Records records) override {
        const auto* list = std::get_if<const std::vector<PatchListRecord>*>(&records);
        const auto* view = std::get_if<const BootView*>(&records);
        events.push_back(list != nullptr   ? "table of " + std::to_string((*list)->size())
                         : view != nullptr ? "boot of " + std::to_string((*view)->entries.size())
                                           : "?");
    }
    // The outcomes of one subcommand make one line: "KIND a+ b-", KIND from the first success.
    void outcome(std::string_view identifier, const Result<Records>& result) override {
        if (kind_.empty() && result) {
            constexpr const char* kinds[] = {"table", "boot", "info", "target", "states", "check"};
            kind_ = kinds[result->index()];
        }
        line_ += " " + std::string(identifier) + (result ? "+" : "-");
    }
    void end_of_outcomes(args::Shows) override {
        events.push_back(std::exchange(kind_, {}) + std::exchange(line_, {}));
    }

    std::vector<std::string> events;

  private:
    std::string kind_;
    std::string line_;
};

constexpr std::string_view package =
    R"({"name":"k","kind":"SourcePackage","arch":"x86_64","epoch":"","version":"1","release":"1","license":"GPL","source_pkg":"k.src"})";

// A daemon that fails every call about "bad" and answers every other as its method expects.
std::string daemon(const wire::Request& request) {
    const std::string id = std::to_string(request.id);
    if (!request.params.empty() && request.params[0] == "\"bad\"") {
        return R"({"id":)" + id + R"(,"error":{"code":-1,"message":"bad is unknown"}})";
    }
    std::string result = "null";
    if (request.method == "get_patch_list") {
        result = R"([["u","n","Actived"]])";
    } else if (request.method == "get_patch_target") {
        result = package;
    } else if (request.method == "get_patch_info") {
        result =
            R"({"uuid":"u","name":"n","version":"1","release":1,"arch":"x86_64","kind":"KernelPatch","depends":"","target":)" +
            std::string(package) + R"(,"entities":[],"description":"d","patches":[],"others":{}})";
    } else if (request.method != "check_patch" &&
               (request.method.ends_with("_patch") || request.method == "get_patch_status")) {
        result = R"([{"name":"n","status":"Actived"}])";
    }
    return R"({"id":)" + id + R"(,"result":)" + result + "}";
}

class PatchExecutor : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::getuid() != 0) {
            GTEST_SKIP() << "the executor runs only for the superuser, and an in-process test "
                            "cannot become one";
        }
    }

    // Runs `words` (a subcommand and its arguments) and returns the executor's result.
    Result<> run(const std::vector<std::string>& words) {
        const args::SubcommandRow& row = *args::subcommand_named(words.front());
        const bool restore = row.takes == args::Takes::AcceptedFlag;
        const args::SubCommand command(
            row,
            restore ? std::vector<std::string>{}
                    : std::vector<std::string>(words.begin() + 1, words.end()),
            {restore && words.size() > 1, false, false});
        auto remote = std::make_shared<rpc::RpcRemote>(
            dir.path() / "quvaned.sock",
            std::make_unique<testing::RecordingTransport>(daemon, requests));
        PatchCommandExecutor executor(remote, std::make_shared<os::AnchoredDirectory>(dir.path()),
                                      "patch_op.lock", sink, dir.path() / "state",
                                      dir.path() / "proc");
        return executor.invoke(command);
    }

    std::vector<std::string> calls() const {
        std::vector<std::string> out;
        for (const auto& request : requests) {
            std::string call = request.method;
            for (const auto& param : request.params) {
                call += " " + param;
            }
            out.push_back(call);
        }
        return out;
    }

    testing::TemporaryDirectory dir;
    std::vector<wire::Request> requests;
    RecordingSink sink;
};

TEST_F(PatchExecutor, EachRowCallsItsMethodAndShowsItsKindOfResult) {
    const struct {
        std::vector<std::string> words;
        std::vector<std::string> calls;
        std::vector<std::string> events;
    } cases[] = {
        {{"list"}, {"get_patch_list"}, {"table of 1"}},
        {{"info", "a"}, {"get_patch_info \"a\""}, {"info a+"}},
        {{"target", "a"}, {"get_patch_target \"a\""}, {"target a+"}},
        {{"status", "a"}, {"get_patch_status \"a\""}, {"states a+"}},
        {{"check", "a"}, {"check_patch \"a\""}, {"check a+"}},
        {{"apply", "a"}, {"apply_patch \"a\""}, {"states a+"}},
        {{"remove", "a"}, {"remove_patch \"a\""}, {"wait before lock", "states a+"}},
        {{"active", "a"}, {"active_patch \"a\""}, {"states a+"}},
        {{"deactive", "a"}, {"deactive_patch \"a\""}, {"states a+"}},
        {{"accept", "a"}, {"accept_patch \"a\""}, {"states a+"}},
        {{"save"}, {"get_patch_list", "save_patch_status"}, {}},
        {{"restore"}, {"restore_patch_status false", "get_patch_list"}, {"wait after lock"}},
        {{"restore", "--accepted"},
         {"restore_patch_status true", "get_patch_list"},
         {"wait after lock"}},
        {{"boot"}, {"get_patch_list"}, {"boot of 1"}},
    };
    for (const auto& c : cases) {
        requests.clear();
        sink.events.clear();
        EXPECT_TRUE(run(c.words).has_value()) << c.words.front();
        EXPECT_THAT(calls(), ElementsAreArray(c.calls)) << c.words.front();
        EXPECT_THAT(sink.events, ElementsAreArray(c.events)) << c.words.front();
    }
}

TEST_F(PatchExecutor, EveryIdentifierIsTriedAndTheFailuresAreListed) {
    const auto result = run({"apply", "bad", "b", "bad"});
    EXPECT_THAT(calls(),
                ElementsAre("apply_patch \"bad\"", "apply_patch \"b\"", "apply_patch \"bad\""));
    EXPECT_THAT(sink.events, ElementsAre("states bad- b+ bad-"));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message(), "Operation failed");
    EXPECT_THAT(result.error().causes(), ElementsAre("0. bad is unknown\n\n1. bad is unknown"));
}

TEST_F(PatchExecutor, AHeldLockStopsTheRunBeforeAnyCallButAfterTheRemoveWaitLine) {
    const os::FileDescriptor held(
        ::open((dir.path() / "patch_op.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0);
    for (const std::string word : {"remove", "restore", "apply"}) {
        requests.clear();
        sink.events.clear();
        const auto result = run({word, "a"});
        ASSERT_FALSE(result.has_value()) << word;
        EXPECT_THAT(result.error().message(), ::testing::StartsWith("Failed to acquire flock"));
        EXPECT_TRUE(requests.empty()) << word;
        EXPECT_EQ(sink.events.size(), word == "remove" ? 1U : 0U) << word;
    }
    // Runs that change nothing take no lock.
    EXPECT_TRUE(run({"status", "a"}).has_value());
}

}  // namespace
}  // namespace quvane::executor
