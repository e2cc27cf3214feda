#include "os/interruption.h"

#include <cerrno>
#include <csignal>
#include <iterator>

#include <fcntl.h>
#include <unistd.h>

namespace quvane::os {
namespace {

constexpr int watched[] = {SIGINT, SIGTERM, SIGHUP};

// What a signal handler may touch: a flag and a pipe written without blocking, so that a wait
// that polls the pipe cannot miss a signal that came just before it began.
volatile sig_atomic_t arrived = 0;
volatile sig_atomic_t watching = 0;
int wake_read = -1;
volatile sig_atomic_t wake_write = -1;
struct sigaction previous[std::size(watched)];

extern "C" void on_signal(int signal) {
    const int saved = errno;
    arrived = signal;
    if (const int fd = wake_write; fd >= 0) {
        const char byte = 1;
        (void)!::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

InterruptionWatch::InterruptionWatch() {
    arrived = 0;
    watching = 1;
    struct sigaction note {};
    note.sa_handler = on_signal;
    sigemptyset(&note.sa_mask);
    note.sa_flags = 0;  // no SA_RESTART: a blocked call returns EINTR
    for (std::size_t i = 0; i < std::size(watched); ++i) {
        ::sigaction(watched[i], &note, &previous[i]);
    }
}

InterruptionWatch::~InterruptionWatch() {
    for (std::size_t i = 0; i < std::size(watched); ++i) {
        ::sigaction(watched[i], &previous[i], nullptr);
    }
    watching = 0;
    if (wake_read >= 0) {
        const int write_end = wake_write;
        wake_write = -1;
        ::close(write_end);
        ::close(wake_read);
        wake_read = -1;
    }
}

bool interrupted() noexcept {
    return arrived != 0;
}

void note_interruption(int signal) noexcept {
    arrived = signal;
}

void end_by_noted_interruption() noexcept {
    const int signal = arrived;
    if (signal == 0) {
        return;
    }
    ::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
}

int interruption_fd() noexcept {
    // Made when first asked for, after the operation lock: the lock's descriptor keeps the
    // number a run without the watch would give it, which its messages show.
    if (watching != 0 && wake_read < 0) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
            wake_read = ends[0];
            wake_write = ends[1];
        }
    }
    return wake_read;
}

}  // namespace quvane::os
