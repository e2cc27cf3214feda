// The daemon's transport: a fresh Unix stream connection for every exchange.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

#include "transport.h"

namespace quvane::rpc {

class UnixSocketTransport final : public Transport {
  public:
    // Opens nothing; the connection is made by transmit().
    explicit UnixSocketTransport(std::filesystem::path socket_path,
                                 std::optional<std::chrono::microseconds> timeout = std::nullopt)
        : socket_path_(std::move(socket_path)), timeout_(timeout) {}

    // Connects, writes the whole request, reads exactly one JSON value and closes the socket
    // on every path. Without a time-out every step waits without limit.
    tl::expected<Reply, ClientFailure> transmit(const Request& request) override;

  private:
    std::filesystem::path socket_path_;
    std::optional<std::chrono::microseconds> timeout_;
};

}  // namespace quvane::rpc
