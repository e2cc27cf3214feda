#include "os/system_log.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

#include <fmt/format.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "os/unix_socket.h"

namespace quvane::os {

SystemLog::SystemLog(std::string ident, int facility, std::filesystem::path socket,
                     std::chrono::milliseconds patience, std::chrono::milliseconds budget)
    : ident_(std::move(ident)),
      facility_(facility),
      socket_(std::move(socket)),
      patience_(patience),
      budget_left_(budget) {}

tl::expected<void, int> SystemLog::wait_for(short events) {
    while (true) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                              give_up_ - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            return tl::unexpected(EAGAIN);
        }
        pollfd ready{fd_.get(), events, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left));
        if (polled > 0) {
            return {};
        }
        // An interrupted wait gives up: the run is about to report and end.
        if (polled < 0) {
            return tl::unexpected(errno);
        }
    }
}

tl::expected<void, int> SystemLog::connect() {
    const auto address = unix_address(socket_);
    if (!address) {
        return tl::unexpected(address.error());
    }
    const auto* target = reinterpret_cast<const sockaddr*>(&*address);
    // A datagram socket, as the log usually is; a stream one where the log says so.
    fd_.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd_ && ::connect(fd_.get(), target, sizeof *address) == 0) {
        return {};
    }
    if (!fd_ || errno != EPROTOTYPE) {
        const int error = errno;
        fd_.reset();
        return tl::unexpected(error);
    }
    stream_ = true;
    fd_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd_) {
        return tl::unexpected(errno);
    }
    // A listener with a full backlog refuses with EAGAIN: asked again while patience lasts.
    while (::connect(fd_.get(), target, sizeof *address) != 0) {
        const int error = errno;
        if (error == EAGAIN && std::chrono::steady_clock::now() < give_up_) {
            ::usleep(10'000);
            continue;
        }
        if (error == EINPROGRESS) {
            auto ready = wait_for(POLLOUT);
            int outcome = 0;
            socklen_t length = sizeof outcome;
            if (ready && ::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &outcome, &length) == 0 &&
                outcome == 0) {
                return {};
            }
            fd_.reset();
            return tl::unexpected(ready ? (outcome != 0 ? outcome : errno) : ready.error());
        }
        fd_.reset();
        return tl::unexpected(error);
    }
    return {};
}

tl::expected<void, int> SystemLog::send(int severity, std::string_view message) {
    const auto start = std::chrono::steady_clock::now();
    give_up_ = start + std::min<std::chrono::steady_clock::duration>(patience_, budget_left_);
    auto sent = deliver(severity, message);
    budget_left_ -= std::min(budget_left_, std::chrono::steady_clock::now() - start);
    return sent;
}

tl::expected<void, int> SystemLog::deliver(int severity, std::string_view message) {
    if (!fd_) {
        if (auto connected = connect(); !connected) {
            return connected;
        }
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char date[32];
    std::strftime(date, sizeof date, "%h %e %T", &local);
    std::string record =
        fmt::format("<{}>{} {}[{}]: {}", facility_ | severity, date, ident_, ::getpid(), message);
    if (stream_) {
        record.push_back('\0');  // a stream's records are separated by a NUL, as syslog() does
    }
    std::string_view left = record;
    while (!left.empty()) {
        const auto sent = send_some(fd_.get(), left, MSG_DONTWAIT);
        if (sent) {
            left.remove_prefix(*sent);
            continue;
        }
        if (sent.error() != EAGAIN) {
            return tl::unexpected(sent.error());
        }
        if (auto ready = wait_for(POLLOUT); !ready) {
            // Half a record on a stream would run into the next one.
            if (stream_ && left.size() != record.size()) {
                fd_.reset();
            }
            return ready;
        }
    }
    return {};
}

}  // namespace quvane::os
