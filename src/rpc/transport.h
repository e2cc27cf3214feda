#pragma once

#include <tl/expected.hpp>

#include "failure.h"
#include "response.h"
#include "rpc/request.h"

namespace quvane::rpc {

// One complete exchange: the request written, one response read back.
class Transport {
  public:
    virtual ~Transport() = default;
    // Fails with a TransportFailure or a JsonFailure, never with an RpcFailure.
    virtual tl::expected<Response, ClientFailure> transmit(const Request& request) = 0;
};

}  // namespace quvane::rpc
