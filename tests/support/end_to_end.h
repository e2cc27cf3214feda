// The fixture of the end-to-end tests: a temporary work directory served by the development
// daemon's patch service over the stand-in daemon's socket, so that every subcommand meets a
// real lifecycle. A test replaces an answer only to stage a fault.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "executor/operation_lock.h"
#include "patch_service.h"
#include "support/process.h"
#include "support/stub_daemon.h"

namespace quvane::testing {

class EndToEnd : public ::testing::Test {
  protected:
    EndToEnd();

    // From now on `method` is answered by `reply` (given the request's exact bytes) instead of
    // the patch service.
    void fault(const std::string& method, StubDaemon::Handler reply);

    // From now on `method` is carried out by the patch service and its answer lost (the
    // connection closes without a word), as for a run killed between the change and the
    // answer; an empty `method` ends that.
    void lose_answers(const std::string& method);

    // The daemon as after a reboot: the catalogue's patches in their first state, what was
    // saved in the work directory kept, a new boot id; with `kill_switch`, the kernel command
    // line skips the restore. The boot unit is not run.
    void restart_daemon(bool kill_switch = false);

    // Runs quvane on the work directory with `args`, as the superuser, and checks what holds
    // after every run (see run()).
    ProcessResult run(std::vector<std::string> args) const;

    // Holds the operation lock as another run would, until release_lock().
    void hold_lock();
    void release_lock() { held_.reset(); }

    // The methods of the requests received so far, in order.
    std::vector<std::string> methods() const;

    TemporaryDirectory dir;
    TemporaryDirectory proc;  // what quvane reads of the kernel (QUVANE_PROC_DIR)

  private:
    Reply answer(const std::string& request);

    dev::PatchService service_;
    std::mutex mutex_;
    std::map<std::string, StubDaemon::Handler> faults_;
    std::string lost_;
    std::optional<executor::OperationLock> held_;

  protected:
    StubDaemon daemon;  // last: it calls answer() from its own thread until destroyed
};

}  // namespace quvane::testing
