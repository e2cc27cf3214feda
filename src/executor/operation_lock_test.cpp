#include "executor/operation_lock.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

#include "os/unix_socket.h"
#include "support/process.h"
#include "support/stub_daemon.h"

namespace quvane::executor {
namespace {

using ::testing::MatchesRegex;

// Whether a process other than this one can take the lock on `path` right now.
bool another_process_can_lock(const std::filesystem::path& path) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(OperationLock::acquire(path, true).has_value() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

mode_t mode_of(const std::filesystem::path& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

TEST(OperationLock, CreatesAMissingFileEmptyAndPrivate) {
    testing::TemporaryDirectory dir;
    const auto path = dir.path() / "patch_op.lock";
    const mode_t old_mask = ::umask(077);
    {
        auto lock = OperationLock::acquire(path, true);
        ASSERT_TRUE(lock.has_value()) << lock.error().message();
        EXPECT_TRUE(lock->exclusive());
        EXPECT_EQ(mode_of(path), 0600u);
        EXPECT_FALSE(another_process_can_lock(path));
    }
    ::umask(old_mask);
    EXPECT_TRUE(another_process_can_lock(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST(OperationLock, LeavesAnExistingFileAsItWas) {
    testing::TemporaryDirectory dir;
    const auto path = dir.path() / "patch_op.lock";
    std::ofstream(path) << "kept";
    ::chmod(path.c_str(), 0644);
    {
        auto lock = OperationLock::acquire(path, true);
        ASSERT_TRUE(lock.has_value());
        // Opened read-only.
        EXPECT_EQ(fcntl(lock->fd(), F_GETFL) & O_ACCMODE, O_RDONLY);
        EXPECT_TRUE(fcntl(lock->fd(), F_GETFD) & FD_CLOEXEC);
    }
    EXPECT_EQ(mode_of(path), 0644u);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept");
}

TEST(OperationLock, FollowsALinkToAnExistingFile) {
    testing::TemporaryDirectory dir;
    const auto target = dir.path() / "real.lock";
    const auto link = dir.path() / "patch_op.lock";
    std::ofstream(target) << "data";
    std::filesystem::create_symlink(target, link);
    auto lock = OperationLock::acquire(link, true);
    ASSERT_TRUE(lock.has_value());
    EXPECT_FALSE(another_process_can_lock(target));
    EXPECT_EQ(std::filesystem::file_size(target), 4u);
}

TEST(OperationLock, RefusesAtOnceWhatIsNotARegularFile) {
    // Planted by whoever can write the work directory: nothing may block, be opened as a
    // device, or be created through a link.
    testing::TemporaryDirectory dir;
    const auto fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto nowhere = dir.path() / "created-through-link";
    struct Case {
        std::string name;
        std::function<void(const std::filesystem::path&)> plant;
        std::string cause;
    };
    const std::vector<Case> cases{
        {"fifo", [](const auto& p) { ::mkfifo(p.c_str(), 0600); }, "is a FIFO, not a regular file"},
        {"link-to-fifo", [&](const auto& p) { std::filesystem::create_symlink(fifo, p); },
         "is a FIFO, not a regular file"},
        {"device", [](const auto& p) { std::filesystem::create_symlink("/dev/null", p); },
         "is a character device, not a regular file"},
        {"directory", [](const auto& p) { std::filesystem::create_directory(p); },
         "is a directory, not a regular file"},
        {"dangling", [&](const auto& p) { std::filesystem::create_symlink(nowhere, p); },
         "is a dangling symbolic link"},
    };
    for (const auto& [name, plant, cause] : cases) {
        const auto path = dir.path() / name;
        plant(path);
        const auto lock = OperationLock::acquire(path, true);
        ASSERT_FALSE(lock.has_value()) << name;
        EXPECT_EQ(lock.error().message(), "Failed to create flock on " + path.string()) << name;
        EXPECT_EQ(lock.error().causes(), std::vector<std::string>{path.string() + " " + cause})
            << name;
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(nowhere)));
}

TEST(OperationLock, APathSwappedToAFifoIsNeverOpenedForReading) {
    // A writer blocks in open() until the FIFO has a reader: if it ever returns, a run opened
    // the FIFO that was swapped in under the check.
    testing::TemporaryDirectory dir;
    const auto fifo = dir.path() / "fifo";
    const auto file = dir.path() / "file";
    const auto path = dir.path() / "patch_op.lock";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(file).close();
    std::atomic<bool> opened{false};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        opened = !done;
        ::close(fd);
    });
    std::thread swapper([&] {
        for (bool to_fifo = false; !done; to_fifo = !to_fifo) {
            const auto next = dir.path() / "next";
            std::filesystem::remove(next);
            std::filesystem::create_symlink(to_fifo ? fifo : file, next);
            std::filesystem::rename(next, path);
        }
    });
    for (int i = 0; i < 20000 && !opened; ++i) {
        (void)OperationLock::acquire(path, true);
    }
    done = true;
    swapper.join();
    // Let the writer go.
    ::close(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    writer.join();
    EXPECT_FALSE(opened);
}

TEST(OperationLock, AFileReplacedWhileItsLockWasAwaitedIsNotTakenForTheLock) {
    testing::TemporaryDirectory dir;
    const auto path = dir.path() / "patch_op.lock";
    auto first = OperationLock::acquire(path, true);
    ASSERT_TRUE(first.has_value());
    const pid_t child = fork();
    if (child == 0) {
        const auto lock = OperationLock::acquire(path, true, std::chrono::seconds(20));
        _exit(!lock && lock.error().causes() ==
                           std::vector<std::string>{path.string() +
                                                    " was replaced while it was being locked"}
                  ? 0
                  : 1);
    }
    // Once the waiting run holds the old file open (besides the descriptor it inherited), a
    // new file takes its name and the old lock is released.
    const auto holds_the_old_file = [&] {
        int open = 0;
        for (const auto& entry :
             std::filesystem::directory_iterator("/proc/" + std::to_string(child) + "/fd")) {
            std::error_code ignored;
            open += std::filesystem::read_symlink(entry.path(), ignored) == path;
        }
        return open >= 2;
    };
    for (int i = 0; i < 2000 && !holds_the_old_file(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::ofstream(dir.path() / "new").close();
    std::filesystem::rename(dir.path() / "new", path);
    first = tl::unexpected(Error("released"));
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(OperationLock, FailuresNameThePathOrTheDescriptor) {
    testing::TemporaryDirectory dir;
    const auto missing_dir = dir.path() / "missing" / "patch_op.lock";
    const auto created = OperationLock::acquire(missing_dir, true);
    ASSERT_FALSE(created.has_value());
    EXPECT_EQ(created.error().message(), "Failed to create flock on " + missing_dir.string());
    EXPECT_EQ(created.error().causes(),
              std::vector<std::string>{"No such file or directory (os error 2)"});

    const auto path = dir.path() / "patch_op.lock";
    auto held = OperationLock::acquire(path, true);
    ASSERT_TRUE(held.has_value());
    const pid_t child = fork();
    if (child == 0) {
        const auto second = OperationLock::acquire(path, true);
        const bool as_expected =
            !second &&
            std::regex_match(second.error().message(),
                             std::regex("Failed to acquire flock for fd [0-9]+")) &&
            second.error().causes() ==
                std::vector<std::string>{"Resource temporarily unavailable (os error 11)"};
        // The failed attempt left the descriptor it named closed.
        const std::string number = second.error().message().substr(
            std::string_view("Failed to acquire flock for fd ").size());
        const bool closed = ::fcntl(std::stoi(number), F_GETFD) == -1 && errno == EBADF;
        _exit(as_expected && closed ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(OperationLock, MovedLockIsReleasedOnceByItsLastOwner) {
    testing::TemporaryDirectory dir;
    const auto path = dir.path() / "patch_op.lock";
    {
        auto first = OperationLock::acquire(path, true);
        ASSERT_TRUE(first.has_value());
        OperationLock moved = std::move(*first);
        EXPECT_FALSE(another_process_can_lock(path));
    }
    EXPECT_TRUE(another_process_can_lock(path));
    auto shared = OperationLock::acquire(path, false);
    ASSERT_TRUE(shared.has_value());
    EXPECT_FALSE(shared->exclusive());
}

// Whoever can write the work directory's parent can swap the path between the run's steps; and a
// rescue shell or a minimal container has no /proc. The lock and the daemon are found in the
// directory first looked up, and a lock file that is there already is reopened without /proc.
TEST(OperationLock, StaysInTheDirectoryFirstLookedUpAndNeedsNoProc) {
    testing::TemporaryDirectory dir;
    const auto work = dir.path() / "work";
    std::filesystem::create_directory(work);
    testing::StubDaemon daemon(work / "quvaned.sock", [](const std::string& request) {
        const bool list = request.find("get_patch_list") != std::string::npos;
        return testing::Reply::result(request, list ? "[]" : "null");
    });
    // A directory that named nothing at the first look-up is never looked up by its path
    // again: whoever can write a parent could have put another directory there.
    os::AnchoredDirectory missing(dir.path() / "later");
    ASSERT_LT(missing.fd(), 0);
    std::filesystem::create_directory(dir.path() / "later");
    const auto refused = OperationLock::acquire(missing, "patch_op.lock", true);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().kind(), FailureKind::Unreachable);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "later" / "patch_op.lock"));

    os::AnchoredDirectory anchored(work);
    ASSERT_GE(anchored.fd(), 0);
    std::filesystem::rename(work, dir.path() / "moved");
    std::filesystem::create_directory(work);
    {
        auto lock = OperationLock::acquire(anchored, "patch_op.lock", true);
        ASSERT_TRUE(lock.has_value()) << lock.error().message();
        EXPECT_TRUE(std::filesystem::exists(dir.path() / "moved" / "patch_op.lock"));
        EXPECT_FALSE(std::filesystem::exists(work / "patch_op.lock"));
        auto socket = os::unix_socket();
        ASSERT_TRUE(socket.has_value());
        EXPECT_TRUE(anchored.connect_unix(socket->get(), "quvaned.sock").has_value());
    }

    if (testing::run_process({"/usr/bin/unshare", "-rm", "/bin/true"}).status != 0) {
        GTEST_SKIP() << "no private mount namespace here (unshare -rm) to hide /proc in";
    }
    if (testing::sanitized) {
        GTEST_SKIP() << "the sanitizers' runtime cannot run without /proc";
    }
    const std::string quvane = testing::quvane_binary() + " -w " + (dir.path() / "moved").string();
    const auto result = testing::run_process(
        {"/usr/bin/unshare", "-rm", "/bin/sh", "-c",
         "mount -t tmpfs none /proc && " + quvane + " save && " + quvane + " save"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(result.out + result.err, "");
}

}  // namespace
}  // namespace quvane::executor
