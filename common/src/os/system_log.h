// The system log's socket, written to without ever holding up the run. The C library's syslog()
// blocks for as long as the log is stalled (a journal on a slow disk, a full queue nobody
// reads), with the run's lock held and a signal swallowed by its retry; this sends its own
// records and gives up after a short, bounded wait.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "os/file_descriptor.h"

namespace quvane::os {

class SystemLog {
  public:
    // Records go out as "<facility|severity>date ident[pid]: message" to `socket`, which is
    // connected at the first send. Each send waits at most `patience` from its own start, and
    // all of them together at most `budget`: a slow call before a record costs it nothing, a
    // stalled log holds up a run of many records only that long.
    SystemLog(std::string ident, int facility, std::filesystem::path socket = "/dev/log",
              std::chrono::milliseconds patience = std::chrono::milliseconds(250),
              std::chrono::milliseconds budget = std::chrono::milliseconds(1000));

    // Sends one record; the system error when it could not be delivered in time.
    tl::expected<void, int> send(int severity, std::string_view message);

    const std::filesystem::path& socket_path() const noexcept { return socket_; }

  private:
    tl::expected<void, int> connect();
    // The send itself, until give_up_.
    tl::expected<void, int> deliver(int severity, std::string_view message);
    // Waits for `events` on the socket within what is left of the patience.
    tl::expected<void, int> wait_for(short events);

    std::string ident_;
    int facility_;
    std::filesystem::path socket_;
    std::chrono::milliseconds patience_;
    std::chrono::steady_clock::duration budget_left_;
    std::chrono::steady_clock::time_point give_up_{};  // of the send under way
    FileDescriptor fd_;
    bool stream_ = false;
};

}  // namespace quvane::os
