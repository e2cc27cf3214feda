#include "unix_socket_transport.h"

#include <cerrno>
#include <cstring>

#include <fmt/format.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>

#include "os/file_descriptor.h"
#include "system_error.h"
#include "value_reader.h"

namespace quvane::rpc {
namespace {

using os::FileDescriptor;

tl::unexpected<ClientFailure> socket_error(int errnum) {
    return tl::unexpected(ClientFailure(TransportFailure::socket_error(errnum)));
}

class SocketSource final : public ByteSource {
  public:
    explicit SocketSource(int fd) : fd_(fd) {}

    tl::expected<std::size_t, int> peek(char* buffer, std::size_t size) override {
        return receive(buffer, size, MSG_PEEK);
    }

    tl::expected<void, int> consume(char* buffer, std::size_t size) override {
        while (size > 0) {
            const auto received = receive(buffer, size, 0);
            if (!received) {
                return tl::unexpected(received.error());
            }
            if (*received == 0) {
                return tl::unexpected(EPIPE);
            }
            buffer += *received;
            size -= *received;
        }
        return {};
    }

  private:
    tl::expected<std::size_t, int> receive(char* buffer, std::size_t size, int flags) const {
        while (true) {
            const ssize_t received = ::recv(fd_, buffer, size, flags);
            if (received >= 0) {
                return static_cast<std::size_t>(received);
            }
            if (errno != EINTR) {
                return tl::unexpected(errno);
            }
        }
    }

    int fd_;
};

tl::expected<void, int> write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        // MSG_NOSIGNAL keeps a closed peer from raising SIGPIPE even where it is not ignored.
        const ssize_t written = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return tl::unexpected(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
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

tl::expected<FileDescriptor, int> connect_to(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string& native = path.native();
    if (native.size() >= sizeof address.sun_path) {
        return tl::unexpected(ENAMETOOLONG);
    }
    std::memcpy(address.sun_path, native.c_str(), native.size() + 1);
    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket) {
        return tl::unexpected(errno);
    }
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return tl::unexpected(errno);
    }
    return socket;
}

}  // namespace

tl::expected<Response, ClientFailure> UnixSocketTransport::transmit(const Request& request) {
    auto socket = connect_to(socket_path_);
    if (!socket) {
        return socket_error(socket.error());
    }
    if (auto set = set_timeouts(socket->get(), timeout_); !set) {
        return socket_error(set.error());
    }
    if (auto written = write_all(socket->get(), request.to_json()); !written) {
        return tl::unexpected(ClientFailure(JsonFailure{
            fmt::format("failed to write the request: {}", system_error_text(written.error()))}));
    }
    SocketSource source(socket->get());
    auto value = read_one_value(source);
    if (!value) {
        return tl::unexpected(std::move(value.error()));
    }
    auto response = Response::parse_padded(value->json());
    if (!response) {
        return tl::unexpected(ClientFailure(std::move(response.error())));
    }
    return std::move(*response);
}

}  // namespace quvane::rpc
