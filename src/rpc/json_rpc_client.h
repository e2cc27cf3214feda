// The JSON-RPC 2.0 client. Over the transport it adds the protocol's requests, with increasing
// ids; answer_decoding.h turns what comes back into typed values.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "transport.h"

namespace quvane::rpc {

class JsonRpcClient {
  public:
    explicit JsonRpcClient(std::unique_ptr<Transport> transport)
        : transport_(std::move(transport)) {}

    // Takes the next id (1 for the first request), even if the request is never sent.
    Request compose_request(std::string method, std::vector<std::string> params);

    tl::expected<Reply, ClientFailure> transmit(const Request& request) {
        return transport_->transmit(request);
    }

  private:
    std::unique_ptr<Transport> transport_;
    std::atomic<std::uint64_t> next_id_{1};
};

}  // namespace quvane::rpc
