#include "unix_socket_transport.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include <fmt/format.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>

#include "os/file_descriptor.h"
#include "os/interruption.h"
#include "os/unix_socket.h"
#include "system_error.h"
#include "value_reader.h"

namespace quvane::rpc {
namespace {

using os::FileDescriptor;

tl::unexpected<ClientFailure> socket_error(int errnum) {
    return tl::unexpected(ClientFailure(TransportFailure::socket_error(errnum)));
}

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

// Waits until `fd` is ready for `events`, the deadline has passed (ETIMEDOUT) or the run is
// interrupted (EINTR). With neither a deadline nor an interruption to watch, the socket
// operation itself waits.
tl::expected<void, int> ready(int fd, short events, const Deadline& deadline) {
    const int interruption = os::interruption_fd();
    if (!deadline && interruption < 0) {
        return {};
    }
    if (os::interrupted()) {
        return tl::unexpected(EINTR);
    }
    while (true) {
        int wait = -1;
        if (deadline) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0) {
                return tl::unexpected(ETIMEDOUT);
            }
            wait = static_cast<int>(std::min<long long>(left, INT32_MAX));
        }
        pollfd poll_fds[2] = {{fd, events, 0}, {interruption, POLLIN, 0}};
        const int polled = ::poll(poll_fds, interruption < 0 ? 1 : 2, wait);
        if (os::interrupted()) {
            return tl::unexpected(EINTR);
        }
        if (polled > 0) {
            return {};
        }
        if (polled < 0 && errno != EINTR) {
            return tl::unexpected(errno);
        }
    }
}

class SocketSource final : public ByteSource {
  public:
    SocketSource(int fd, Deadline deadline) : fd_(fd), deadline_(deadline) {}

    tl::expected<std::size_t, int> peek(char* buffer, std::size_t size) override {
        if (auto waited = ready(fd_, POLLIN, deadline_); !waited) {
            return tl::unexpected(waited.error());
        }
        return receive(buffer, size, MSG_PEEK);
    }

    tl::expected<void, int> consume(char* buffer, std::size_t size) override {
        while (size > 0) {
            const auto received = receive(buffer, size, 0);
            if (!received) {
                return tl::unexpected(received.error());
            }
            if (*received == 0) {
                // The peer closed the connection under bytes it had already shown.
                return tl::unexpected(ECONNRESET);
            }
            buffer += *received;
            size -= *received;
        }
        return {};
    }

    bool pending(std::chrono::milliseconds wait) override {
        pollfd readable{fd_, POLLIN, 0};
        return ::poll(&readable, 1, static_cast<int>(wait.count())) > 0;
    }

  private:
    tl::expected<std::size_t, int> receive(char* buffer, std::size_t size, int flags) const {
        while (true) {
            const ssize_t received = ::recv(fd_, buffer, size, flags);
            if (received >= 0) {
                return static_cast<std::size_t>(received);
            }
            if (errno != EINTR || os::interrupted()) {
                return tl::unexpected(errno);
            }
        }
    }

    int fd_;
    Deadline deadline_;
};

tl::expected<void, int> write_all(int fd, std::string_view bytes, const Deadline& deadline) {
    // With a deadline no send may block past it: it takes what fits and the rest waits in poll.
    const int flags = deadline ? MSG_DONTWAIT : 0;
    while (!bytes.empty()) {
        if (auto waited = ready(fd, POLLOUT, deadline); !waited) {
            return tl::unexpected(waited.error());
        }
        const auto sent = os::send_some(fd, bytes, flags);
        if (!sent && !(deadline && sent.error() == EAGAIN)) {
            return tl::unexpected(sent.error());
        }
        bytes.remove_prefix(sent.value_or(0));
    }
    return {};
}

tl::expected<void, int> set_timeouts(int fd, std::optional<std::chrono::microseconds> timeout) {
    timeval value{};
    if (timeout) {
        value.tv_sec = static_cast<time_t>(timeout->count() / 1'000'000);
        value.tv_usec = static_cast<suseconds_t>(timeout->count() % 1'000'000);
    }
    for (const int option : {SO_RCVTIMEO, SO_SNDTIMEO}) {
        if (::setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) != 0) {
            return tl::unexpected(errno);
        }
    }
    return {};
}

tl::expected<FileDescriptor, int> connect_to(os::AnchoredDirectory& directory,
                                             std::string_view name,
                                             std::optional<std::chrono::microseconds> timeout) {
    auto socket = os::unix_socket();
    if (!socket) {
        return socket;
    }
    // A daemon whose queue of connections is full keeps connect() waiting; the send time-out
    // bounds that wait.
    if (timeout) {
        if (auto set = set_timeouts(socket->get(), timeout); !set) {
            return tl::unexpected(set.error());
        }
    }
    if (auto connected = directory.connect_unix(socket->get(), name); !connected) {
        return tl::unexpected(connected.error());
    }
    return socket;
}

}  // namespace

tl::expected<Reply, ClientFailure> UnixSocketTransport::transmit(const Request& request) {
    const Deadline deadline =
        timeout_ ? Deadline(Clock::now() + *timeout_) : Deadline(std::nullopt);
    const auto expired = [&] {
        return tl::unexpected(ClientFailure(TransportFailure::expired(*timeout_)));
    };
    auto socket = connect_to(*directory_, name_, timeout_);
    if (!socket) {
        if (timeout_ && (socket.error() == EAGAIN || socket.error() == ETIMEDOUT)) {
            return expired();
        }
        return socket_error(socket.error());
    }
    // The socket's own time-outs stay unset (zero): a deadline bounds the whole exchange.
    if (auto set = set_timeouts(socket->get(), std::nullopt); !set) {
        return socket_error(set.error());
    }
    auto written = write_all(socket->get(), request.to_json(), deadline);
    if (!written && written.error() == ETIMEDOUT) {
        return expired();
    }
    if (!written) {
        return tl::unexpected(ClientFailure(JsonFailure{
            fmt::format("failed to write the request: {}", system_error_text(written.error()))}));
    }
    SocketSource source(socket->get(), deadline);
    auto value = read_one_value(source);
    if (!value) {
        if (const auto* transport = std::get_if<TransportFailure>(&value.error());
            transport != nullptr && transport->kind == TransportFailure::Kind::Expired) {
            return expired();
        }
        return tl::unexpected(std::move(value.error()));
    }
    return std::move(*value);
}

}  // namespace quvane::rpc
