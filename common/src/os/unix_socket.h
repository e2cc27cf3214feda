// Unix stream sockets: the address, connecting, listening and sending, each written once.
// Errors are errno values, captured where the call failed.
#pragma once

#include <filesystem>
#include <string_view>

#include <sys/socket.h>
#include <sys/un.h>
#include <tl/expected.hpp>

#include "os/file_descriptor.h"

namespace quvane::os {

// The socket address of `path`; ENAMETOOLONG when it does not fit.
tl::expected<sockaddr_un, int> unix_address(const std::filesystem::path& path);

// A new close-on-exec stream socket, and connecting it: options may be set in between.
tl::expected<FileDescriptor, int> unix_socket();
tl::expected<void, int> connect_unix(int fd, const std::filesystem::path& path);

// A close-on-exec socket connected to `path`.
tl::expected<FileDescriptor, int> connect_unix(const std::filesystem::path& path);

// A close-on-exec socket bound to `path` (a stale socket file there is removed first) and
// listening with `backlog`.
tl::expected<FileDescriptor, int> listen_unix(const std::filesystem::path& path, int backlog);

// Sends what the socket takes of `bytes` in one call, resumed after an interruption; never
// raises SIGPIPE. Returns how many bytes went.
tl::expected<std::size_t, int> send_some(int fd, std::string_view bytes, int flags = 0);

// Sends all of `bytes`, waiting as long as the peer takes.
tl::expected<void, int> send_all(int fd, std::string_view bytes);

}  // namespace quvane::os
