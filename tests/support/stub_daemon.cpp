#include "stub_daemon.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <fmt/format.h>
#include <poll.h>
#include <simdjson.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "os/unix_socket.h"
#include "wire/request.h"
#include "wire/value_boundary.h"

namespace quvane::testing {
namespace {

// Waits until the peer closes or the daemon stops.
void wait_for_close(int fd, int stop_fd) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
    char buffer[4096];
    while (::poll(fds, 2, -1) >= 0) {
        if (fds[1].revents != 0)
            return;
        if (fds[0].revents != 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0)
            return;
    }
}

}  // namespace

Reply Reply::result(const std::string& request, const std::string& result_json) {
    return answer(fmt::format(R"({{"jsonrpc":"2.0","result":{},"id":{}}})", result_json,
                              view_request(request).id));
}

Reply Reply::error(const std::string& request, const std::string& message, int code) {
    return answer(fmt::format(R"({{"jsonrpc":"2.0","error":{{"code":{},"message":{}}},"id":{}}})",
                              code, wire::encode_argument(std::string_view(message)),
                              view_request(request).id));
}

RequestView view_request(const std::string& request) {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (parser.parse(simdjson::padded_string(request)).get(root) != simdjson::SUCCESS) {
        return {};
    }
    RequestView view;
    std::string_view method;
    if (root["method"].get(method) == simdjson::SUCCESS)
        view.method = std::string(method);
    simdjson::dom::array params;
    if (root["params"].get(params) == simdjson::SUCCESS && params.size() > 0) {
        view.first_param = simdjson::minify(params.at(0).value());
    }
    simdjson::dom::element id;
    if (root["id"].get(id) == simdjson::SUCCESS)
        view.id = simdjson::minify(id);
    return view;
}

StubDaemon::StubDaemon(std::filesystem::path socket_path, Handler handler)
    : socket_path_(std::move(socket_path)), handler_(std::move(handler)) {
    auto listener = os::listen_unix(socket_path_, 64);
    if (!listener) {
        throw std::runtime_error(fmt::format("stub daemon cannot listen on {}: {}",
                                             socket_path_.string(),
                                             std::strerror(listener.error())));
    }
    if (::pipe2(stop_pipe_, O_CLOEXEC) != 0) {
        throw std::runtime_error(fmt::format("stub daemon: pipe: {}", std::strerror(errno)));
    }
    listener_ = std::move(*listener);
    thread_ = std::thread([this] { serve(); });
}

StubDaemon::StubDaemon(std::filesystem::path socket_path, std::vector<Reply> replies)
    : StubDaemon(std::move(socket_path), [replies = std::move(replies),
                                          next = std::size_t{0}](const std::string&) mutable {
          return next < replies.size() ? replies[next++] : Reply{Reply::Kind::Close, {}, {}};
      }) {}

StubDaemon::~StubDaemon() {
    [[maybe_unused]] const ssize_t written = ::write(stop_pipe_[1], "x", 1);
    thread_.join();
    ::close(stop_pipe_[0]);
    ::close(stop_pipe_[1]);
    ::unlink(socket_path_.c_str());
}

std::vector<std::string> StubDaemon::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void StubDaemon::serve() {
    pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    while (::poll(fds, 2, -1) >= 0 || errno == EINTR) {
        if (fds[1].revents != 0)
            return;
        if (fds[0].revents == 0)
            continue;
        const int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++connections_;
        serve_connection(fd);
        ::close(fd);
    }
}

void StubDaemon::serve_connection(int fd) {
    std::string request;
    char buffer[4096];
    if (die_mid_request_) {
        const ssize_t n = ::recv(fd, buffer, 8, 0);
        std::lock_guard lock(mutex_);
        requests_.emplace_back(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        return;
    }
    // The request's end is found as the daemon must find it, scanning each chunk once.
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    wire::ValueBoundary boundary;
    auto status = wire::ValueBoundary::Status::More;
    while (status == wire::ValueBoundary::Status::More) {
        if (::poll(fds, 2, -1) < 0 || fds[1].revents != 0)
            return;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        std::string_view chunk(buffer, static_cast<std::size_t>(n));
        if (!boundary.started()) {
            chunk.remove_prefix(std::min(chunk.find_first_not_of(" \t\n\r"), chunk.size()));
        }
        const auto scanned = boundary.scan(chunk);
        status = scanned.status;
        request.append(chunk.substr(0, scanned.length));
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    const Reply reply = handler_(request);
    switch (reply.kind) {
        case Reply::Kind::Answer:
        case Reply::Kind::HalfThenClose:
            (void)os::send_all(fd, reply.bytes);
            break;
        case Reply::Kind::AnswerAndLinger:
            (void)os::send_all(fd, reply.bytes + reply.more);
            wait_for_close(fd, stop_pipe_[0]);
            break;
        case Reply::Kind::Close:
            break;
        case Reply::Kind::Silent:
            wait_for_close(fd, stop_pipe_[0]);
            break;
    }
}

}  // namespace quvane::testing
