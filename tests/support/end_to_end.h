// The fixture of the end-to-end tests: a temporary work directory served by the development
// daemon's patch service over the stand-in daemon's socket, so that every subcommand meets a
// real lifecycle. A test replaces an answer only to stage a fault.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

    // The daemon as after a reboot: the catalogue's patches in their first state, what was
    // saved in the work directory kept.
    void restart_daemon();

    // Runs quvane on the work directory with `args`, as the superuser.
    ProcessResult run(std::vector<std::string> args) const;

    // The methods of the requests received so far, in order.
    std::vector<std::string> methods() const;

    TemporaryDirectory dir;

  private:
    Reply answer(const std::string& request);

    dev::PatchService service_;
    std::mutex mutex_;
    std::map<std::string, StubDaemon::Handler> faults_;

  protected:
    StubDaemon daemon;  // last: it calls answer() from its own thread until destroyed
};

}  // namespace quvane::testing
