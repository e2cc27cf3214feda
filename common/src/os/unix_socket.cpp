#include "os/unix_socket.h"

#include <cerrno>
#include <cstring>

namespace quvane::os {

tl::expected<sockaddr_un, int> unix_address(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string& native = path.native();
    if (native.size() >= sizeof address.sun_path) {
        return tl::unexpected(ENAMETOOLONG);
    }
    std::memcpy(address.sun_path, native.c_str(), native.size() + 1);
    return address;
}

tl::expected<FileDescriptor, int> unix_socket() {
    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket) {
        return tl::unexpected(errno);
    }
    return socket;
}

tl::expected<void, int> connect_unix(int fd, const std::filesystem::path& path) {
    const auto address = unix_address(path);
    if (!address) {
        return tl::unexpected(address.error());
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        return tl::unexpected(errno);
    }
    return {};
}

tl::expected<FileDescriptor, int> connect_unix(const std::filesystem::path& path) {
    auto socket = unix_socket();
    if (!socket) {
        return socket;
    }
    if (auto connected = connect_unix(socket->get(), path); !connected) {
        return tl::unexpected(connected.error());
    }
    return socket;
}

tl::expected<FileDescriptor, int> listen_unix(const std::filesystem::path& path, int backlog) {
    const auto address = unix_address(path);
    if (!address) {
        return tl::unexpected(address.error());
    }
    auto socket = unix_socket();
    if (!socket) {
        return socket;
    }
    ::unlink(path.c_str());
    if (::bind(socket->get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
        ::listen(socket->get(), backlog) != 0) {
        return tl::unexpected(errno);
    }
    return socket;
}

tl::expected<std::size_t, int> send_some(int fd, std::string_view bytes, int flags) {
    while (true) {
        // MSG_NOSIGNAL keeps a closed peer from raising SIGPIPE even where it is not ignored.
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), flags | MSG_NOSIGNAL);
        if (sent >= 0) {
            return static_cast<std::size_t>(sent);
        }
        if (errno != EINTR) {
            return tl::unexpected(errno);
        }
    }
}

tl::expected<void, int> send_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto sent = send_some(fd, bytes);
        if (!sent) {
            return tl::unexpected(sent.error());
        }
        bytes.remove_prefix(*sent);
    }
    return {};
}

}  // namespace quvane::os
