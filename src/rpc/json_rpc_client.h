// The JSON-RPC 2.0 client. Over the transport it adds the protocol: requests with increasing
// ids, and results extracted as typed values, an error object becoming an RpcFailure.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "patch_decoding.h"
#include "response.h"
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

// The error object first, whatever the result holds; then the result as T; a missing or
// null result is decoded as JSON null, which only Empty accepts.
template <class T>
tl::expected<T, ClientFailure> extract_result(const Response& response) {
    if (response.error()) {
        return tl::unexpected(ClientFailure(RpcFailure{*response.error()}));
    }
    auto decoded = response.result() ? decode_result<T>(*response.result()) : decode_null<T>();
    if (!decoded) {
        return tl::unexpected(ClientFailure(JsonFailure{std::move(decoded.error().description)}));
    }
    return std::move(*decoded);
}

}  // namespace quvane::rpc
