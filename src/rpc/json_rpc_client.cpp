#include "json_rpc_client.h"

namespace quvane::rpc {

Request JsonRpcClient::compose_request(std::string method, std::vector<std::string> params) {
    const std::uint64_t id = next_id_.fetch_add(1, std::memory_order_relaxed);
    return Request{std::move(method), std::move(params), id};
}

}  // namespace quvane::rpc
