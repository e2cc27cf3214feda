// Ctrl-C, a terminating service manager or a closed terminal (SIGINT, SIGTERM, SIGHUP) while
// a run talks to the daemon. Ended outright, the run would leave unsaid what the daemon had
// already done; while a watch is alive these signals are only noted, every wait on the
// daemon ends at once, and the run reports what it did and what it did not.
#pragma once

namespace quvane::os {

class InterruptionWatch {
  public:
    // Catches the three signals (system calls are not restarted after them).
    InterruptionWatch();
    // Puts back what handled them before.
    ~InterruptionWatch();
    InterruptionWatch(const InterruptionWatch&) = delete;
    InterruptionWatch& operator=(const InterruptionWatch&) = delete;
};

// Whether one of the signals has arrived since a watch began.
bool interrupted() noexcept;

// Notes that the run was ended by `signal` in a child it waited for (the build tool on Ctrl-C),
// so that the process ends the same way.
void note_interruption(int signal) noexcept;

// Ends the process by the signal that interrupted the run, if one did, with its default action:
// a shell running a loop, `timeout` or a service manager then sees death by that signal and
// stops, where an exit status would let a loop go on. Called once the report is written.
void end_by_noted_interruption() noexcept;

// A descriptor that becomes readable once interrupted, for waits that poll (check
// interrupted() after getting it: a signal that came before is not in it); -1 while no watch
// is alive.
int interruption_fd() noexcept;

}  // namespace quvane::os
