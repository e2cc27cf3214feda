// The daemon's transport: a fresh Unix stream connection for every exchange.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "os/anchored_directory.h"
#include "transport.h"

namespace quvane::rpc {

class UnixSocketTransport final : public Transport {
  public:
    // Opens nothing; the connection is made by transmit(), to the socket file `name` in
    // `directory`.
    UnixSocketTransport(std::shared_ptr<os::AnchoredDirectory> directory, std::string name,
                        std::optional<std::chrono::microseconds> timeout = std::nullopt)
        : directory_(std::move(directory)), name_(std::move(name)), timeout_(timeout) {}

    // Connects, writes the whole request, reads exactly one JSON value and closes the socket
    // on every path. Without a time-out every step waits without limit.
    tl::expected<Reply, ClientFailure> transmit(const Request& request) override;

  private:
    std::shared_ptr<os::AnchoredDirectory> directory_;
    std::string name_;
    std::optional<std::chrono::microseconds> timeout_;
};

}  // namespace quvane::rpc
