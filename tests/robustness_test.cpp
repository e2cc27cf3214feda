// Faults and load, end to end: concurrent runs, a daemon that dies mid-exchange, odd paths,
// and standard output that cannot be written.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <csignal>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <regex>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "executor/operation_lock.h"
#include "support/process.h"
#include "support/stub_daemon.h"

namespace quvane {
namespace {

using ::testing::AnyOf;
using ::testing::HasSubstr;
using testing::Reply;

std::string states(const std::string& request) {
    const auto view = testing::view_request(request);
    return fmt::format(R"([{{"name":{},"status":"Actived"}}])", view.first_param);
}

TEST(Robustness, ConcurrentStateChangesExcludeEachOtherWithoutWaiting) {
    testing::TemporaryDirectory dir;
    const auto lock_path = dir.path() / "patch_op.lock";
    std::atomic<int> calls_under_lock{0};
    std::atomic<int> calls{0};
    constexpr int runs = 50;
    std::mutex mutex;
    std::condition_variable ended;
    int finished = 0;  // runs that have ended
    bool gave_up = false;
    testing::StubDaemon daemon(dir.path() / "quvaned.sock", [&](const std::string& request) {
        const int served = ++calls;
        // The calling run must hold the lock while the daemon works for it.
        calls_under_lock += !executor::OperationLock::acquire(lock_path, true).has_value();
        // It works until every run not served yet has ended; runs that waited for the lock
        // instead of failing keep it working for 20 seconds once, then succeed in turn.
        std::unique_lock lock(mutex);
        gave_up = gave_up || !ended.wait_for(lock, std::chrono::seconds(20),
                                             [&] { return finished + served >= runs; });
        return Reply::result(request, states(request));
    });
    std::vector<std::future<testing::ProcessResult>> started;
    for (int i = 0; i < runs; ++i) {
        started.push_back(std::async(std::launch::async, [&, i] {
            auto result =
                testing::run_quvane({"-w", dir.path().string(), "apply", "P" + std::to_string(i)});
            const std::lock_guard lock(mutex);
            ++finished;
            ended.notify_all();
            return result;
        }));
    }
    int succeeded = 0;
    // The descriptor number depends on what the test runner leaves open.
    const std::regex lock_error(
        "Error: Failed to acquire flock for fd [0-9]+\n\nCaused by:\n    "
        "Resource temporarily unavailable \\(os error 11\\)\n");
    for (int i = 0; i < runs; ++i) {
        const auto result = started[i].get();
        if (result.status == 0) {
            ++succeeded;
            EXPECT_EQ(result.out, "P" + std::to_string(i) + ": ACTIVED\n");
        } else {
            EXPECT_TRUE(std::regex_match(result.out, lock_error)) << result.out;
            EXPECT_EQ(result.status, 1);
        }
        EXPECT_EQ(result.err, "");
    }
    EXPECT_GE(succeeded, 1);
    // Runs that waited for the lock instead of failing would all have succeeded in turn.
    EXPECT_LT(succeeded, runs / 2);
    EXPECT_EQ(calls.load(), succeeded);
    EXPECT_EQ(calls_under_lock.load(), succeeded);
}

TEST(Robustness, DaemonDyingAtEveryPointOfTheExchange) {
    testing::TemporaryDirectory dir;
    const auto socket = dir.path() / "quvaned.sock";
    const std::string cannot_connect =
        "Error: Cannot connect to quvane daemon at unix://" + socket.string() + ", ";
    const auto list = [&] { return testing::run_quvane({"-w", dir.path().string(), "list"}); };
    {
        testing::StubDaemon daemon(socket, {Reply{Reply::Kind::Close}});
        EXPECT_EQ(list().out, cannot_connect + "Connection timeout\n");
    }
    {
        const Reply cut{Reply::Kind::HalfThenClose, R"({"jsonrpc":"2.0","result":[["a","b")"};
        testing::StubDaemon daemon(socket, {cut, cut});
        EXPECT_EQ(list().out, "Error: Failed to parse response\n");
        // Only the verbose log tells what was wrong.
        const auto verbose = testing::run_quvane({"-v", "-w", dir.path().string(), "list"});
        EXPECT_THAT(verbose.out, HasSubstr("\nJson parse error: EOF while parsing a value"));
        EXPECT_THAT(verbose.out, ::testing::EndsWith("\nError: Failed to parse response\n"));
    }
    {
        testing::StubDaemon daemon(socket, std::vector<Reply>{});
        daemon.die_mid_request();
        const auto result = list();
        EXPECT_THAT(result.out, AnyOf(cannot_connect + "Connection timeout\n",
                                      "Error: Failed to parse response\n"));
        EXPECT_EQ(result.status, 1);
    }
    {
        // Gone before accepting: the socket file stays, nobody listens.
        auto daemon = std::make_unique<testing::StubDaemon>(socket, std::vector<Reply>{});
        daemon.reset();
        EXPECT_EQ(list().out, cannot_connect + "No such file or directory (os error 2)\n");
    }
}

TEST(Robustness, OddWorkDirectoriesAndSocketPaths) {
    testing::TemporaryDirectory dir;
    const auto run = [&](const std::filesystem::path& work_dir, const char* word) {
        return testing::run_quvane({"-w", work_dir.string(), word, "A"});
    };
    std::filesystem::create_directory(dir.path() / "quvaned.sock");
    EXPECT_THAT(run(dir.path(), "status").out, HasSubstr("Connection refused (os error 111)"));
    std::filesystem::remove(dir.path() / "quvaned.sock");
    std::ofstream(dir.path() / "quvaned.sock") << "not a socket";
    EXPECT_THAT(run(dir.path(), "status").out, HasSubstr("Connection refused (os error 111)"));

    const auto file = dir.path() / "plain-file";
    std::ofstream(file) << "x";
    const auto not_a_dir = run(file, "apply");
    EXPECT_EQ(not_a_dir.out,
              "Error: Failed to create flock on " + file.string() +
                  "/patch_op.lock\n\nCaused by:\n    Not a directory (os error 20)\n");
    EXPECT_EQ(not_a_dir.status, 1);
    const auto missing = run(dir.path() / "missing", "accept");
    EXPECT_THAT(missing.out, HasSubstr("No such file or directory (os error 2)"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST(Robustness, OutputThatCannotBeWrittenFailsTheRun) {
    testing::TemporaryDirectory dir;
    std::string big_list = "[";
    for (int i = 0; i < 100000; ++i) {
        big_list += fmt::format(R"({}["uuid-{}","name-{}","Accepted"])", i ? "," : "", i, i);
    }
    big_list += "]";
    testing::StubDaemon daemon(dir.path() / "quvaned.sock", [&](const std::string& request) {
        return testing::view_request(request).method == "get_patch_list"
                   ? Reply::result(request, big_list)
               : testing::view_request(request).method == "get_patch_info"
                   ? Reply::error(request, "gone")
                   : Reply::result(request, states(request));
    });
    std::string quvane;
    for (const std::string& word : testing::quvane_command()) {
        quvane += word + " ";
    }
    quvane += "-w " + dir.path().string();

    // Nothing is changed that could not be reported: no lock, no daemon call.
    const auto closed = testing::run_process({"/bin/sh", "-c", quvane + " apply A >&-"});
    EXPECT_EQ(closed.status, 1);
    EXPECT_EQ(closed.err,
              "Error: Standard output is closed, so the run could not show what it did\n\n"
              "Caused by:\n    Bad file descriptor (os error 9)\n");
    EXPECT_TRUE(daemon.requests().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "patch_op.lock"));

    // A failure report that cannot be written keeps its cause, on standard error.
    const auto failed = testing::run_process({"/bin/sh", "-c", quvane + " info gone >/dev/full"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_THAT(failed.err, HasSubstr("Error: Failed to write to standard output: No space left"));
    EXPECT_THAT(failed.err, HasSubstr("Operation failed\n\nCaused by:\n    0. gone"));

    const auto full = testing::run_process({"/bin/sh", "-c", quvane + " list >/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err,
              "Error: Failed to write to standard output: No space left on device (os error 28)\n");

    // A reader that goes away: no hang, no crash, no message, but no success either.
    const auto head = testing::run_process(
        {"/bin/bash", "-c", quvane + " list | head -1; echo \"status ${PIPESTATUS[0]}\""});
    EXPECT_EQ(head.out, "Uuid" + std::string(37, ' ') + "Name" + std::string(57, ' ') +
                            "Status      \nstatus 1\n");
    EXPECT_EQ(head.err, "");
}

TEST(Robustness, AStandardOutputWhoseReaderHasGoneRefusesTheRun) {
    testing::TemporaryDirectory dir;
    testing::StubDaemon daemon(dir.path() / "quvaned.sock", [](const std::string& request) {
        return Reply::result(request, R"([{"name":"A","status":"Actived"}])");
    });
    int output[2];
    int errors[2];
    ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(errors, O_CLOEXEC), 0);
    ::close(output[0]);
    std::vector<std::string> words = testing::quvane_command();
    for (const std::string word : {"-w", dir.path().c_str(), "apply", "A"}) {
        words.push_back(word);
    }
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(errors[1], STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    ::close(errors[1]);
    std::string err;
    char buffer[512];
    for (ssize_t n; (n = ::read(errors[0], buffer, sizeof buffer)) > 0;) {
        err.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(errors[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(err,
              "Error: Standard output is closed, so the run could not show what it did\n\n"
              "Caused by:\n    Broken pipe (os error 32)\n");
    EXPECT_TRUE(daemon.requests().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "patch_op.lock"));
}

}  // namespace
}  // namespace quvane

namespace quvane {
namespace {

// Sends `signal` to the quvane process whose command line names `work_dir`.
void signal_quvane(const std::filesystem::path& work_dir, int signal) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream file(entry.path() / "cmdline");
        const std::string cmdline((std::istreambuf_iterator<char>(file)), {});
        if (cmdline.find(testing::quvane_binary()) == 0 &&
            cmdline.find(work_dir.string()) != std::string::npos) {
            ::kill(std::stoi(entry.path().filename()), signal);
        }
    }
}

TEST(Robustness, AnInterruptedRunSaysWhatItDidWhatWasInFlightAndWhatWasNotTried) {
    const struct {
        int signal;
        std::vector<std::string> options;
        std::string out;
    } cases[] = {
        {SIGINT,
         {},
         "A: ACTIVED\nError: Operation failed\n\nCaused by:\n    0. B's: the run was interrupted "
         "while the daemon was handling it, so its outcome is unknown (check with quvane status "
         "'B'\\''s')\n    \n    1. C: not tried, the run was interrupted\n"},
        {SIGTERM,
         {"--json"},
         R"x({"results":[{"identifier":"A","patches":[{"name":"A","status":"ACTIVED"}]}],)x"
         R"x("failures":[{"identifier":"B's","error":"B's: the run was interrupted while the )x"
         R"x(daemon was handling it, so its outcome is unknown (check with quvane status )x"
         R"x('B'\\''s')","kind":"interrupted"},)x"
         R"x({"identifier":"C","error":"C: not tried, the run was interrupted",)x"
         R"x("kind":"interrupted"}]})x"
         "\n"},
    };
    for (const auto& c : cases) {
        testing::TemporaryDirectory dir;
        testing::StubDaemon daemon(dir.path() / "quvaned.sock", [&](const std::string& request) {
            if (testing::view_request(request).first_param == "\"B's\"") {
                signal_quvane(dir.path(), c.signal);
                return Reply{Reply::Kind::Silent};
            }
            return Reply::result(request, states(request));
        });
        std::vector<std::string> args{"-w", dir.path().string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"apply", "A", "B's", "C"});
        const auto result = testing::run_quvane(args);
        EXPECT_EQ(result.out, c.out) << c.signal;
        // Ended by the signal once the report is out, so that a script's loop stops too.
        EXPECT_EQ(result.status, 128 + c.signal);
        EXPECT_EQ(daemon.requests().size(), 2U);
        EXPECT_TRUE(executor::OperationLock::acquire(dir.path() / "patch_op.lock", true));
    }
}

}  // namespace
}  // namespace quvane

namespace quvane {
namespace {

// Answers under the size cap that are built to multiply in memory: a run stays within five
// times the answer, and a valid one is decided as a short one would be.
TEST(Robustness, AHostileAnswerTakesAtMostFiveTimesItsSizeInMemory) {
    if (testing::sanitized) {
        GTEST_SKIP() << "the sanitizers' shadow memory is no measure of the program's";
    }
    constexpr std::size_t size = std::size_t{48} << 20;
    std::string numbers = R"({"jsonrpc":"2.0","id":1,"padding":[0)";
    while (numbers.size() < size) {
        numbers += ",0,0,0,0,0,0,0,0";
    }
    numbers += R"(],"error":{"code":-32000,"message":"refused"}})";
    std::string strings = R"({"jsonrpc":"2.0","id":1,"padding":["")";
    while (strings.size() < size) {
        strings += R"(,"an unknown member's long string")";
    }
    strings += R"(],"error":{"code":-32000,"message":"refused"}})";
    std::string list = R"({"jsonrpc":"2.0","id":1,"result":[)";
    const std::string record =
        R"({"uuid":"3f2a9c1e-7b44-4d0a-9e51-0c6d8a2b7f10","name":"CVE-2024-1086","status":"Actived"},)";
    while (list.size() < size) {
        list += record;
    }
    list += R"({"uuid":"x","name":"y","status":"Unheard"}]})";
    const struct {
        const std::string& answer;
        std::string out;
    } cases[] = {
        {numbers, "Error: refused\n"},
        {strings, "Error: refused\n"},
        {list, "Error: Failed to parse response\n"},
    };
    for (const auto& c : cases) {
        testing::TemporaryDirectory dir;
        testing::StubDaemon daemon(dir.path() / "quvaned.sock",
                                   [&](const std::string&) { return Reply::answer(c.answer); });
        // The verbose log too, which shows the answer.
        for (const bool verbose : {false, true}) {
            auto args = std::vector<std::string>{"-w", dir.path().string(), "list"};
            if (verbose) {
                args.insert(args.begin(), "-v");
            }
            const auto result = testing::run_quvane(args);
            EXPECT_THAT(result.out, ::testing::EndsWith(c.out));
            EXPECT_EQ(result.status, 1);
            EXPECT_LE(static_cast<std::size_t>(result.peak_kib) * 1024, 5 * c.answer.size())
                << c.out << (verbose ? " with -v" : "");
        }
    }
}

// Memory that runs out while the answer of a change is read is that call's failure, reported
// (and recorded) like any other: the daemon may have made the change.
TEST(Robustness, RunningOutOfMemoryIsAReportedFailureNeverAnAbort) {
    if (testing::sanitized || !std::filesystem::exists("/usr/bin/prlimit")) {
        GTEST_SKIP() << "no address-space limit to run under (the sanitizers' shadow memory, or "
                        "no prlimit)";
    }
    // A form the parsed tree takes, as long as it goes.
    std::string answer = R"({"jsonrpc":"2.0","id":1,"result":[)";
    while (answer.size() < (std::size_t{4} << 20) - 64) {
        answer += R"(["CVE-2024-1086","Actived"],)";
    }
    answer += R"(["last","Actived"]]})";
    testing::TemporaryDirectory dir;
    testing::StubDaemon daemon(dir.path() / "quvaned.sock",
                               [&](const std::string&) { return Reply::answer(answer); });
    // Limits a little above what the run needs at start, in steps finer than what decoding takes.
    for (int mib = 24; mib <= 80; mib += 2) {
        std::vector<std::string> argv{"/usr/bin/prlimit", "--as=" + std::to_string(mib << 20)};
        const auto superuser = testing::superuser_prefix().value_or(std::vector<std::string>{});
        argv.insert(argv.end(), superuser.begin(), superuser.end());
        argv.insert(argv.end(),
                    {testing::quvane_binary(), "-w", dir.path().string(), "apply", "P"});
        const auto result = testing::run_process(argv);
        EXPECT_TRUE(result.status == 0 || result.status == 1) << mib << " MiB: " << result.err;
        if (result.status == 1) {
            EXPECT_THAT(result.out + result.err, ::testing::HasSubstr("Error: ")) << mib;
        }
    }
}

}  // namespace
}  // namespace quvane
