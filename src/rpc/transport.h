// The seam between the client and the wire: one exchange of a request for a response. The
// Unix-socket transport is the real one; tests use an in-memory one that records requests.
#pragma once

#include <tl/expected.hpp>

#include "failure.h"
#include "wire/reply.h"
#include "wire/request.h"

namespace quvane::rpc {

// The wire's request and reply, as the client speaks of them.
using wire::Reply;
using wire::Request;

// One complete exchange: the request written, the bytes of one response read back.
class Transport {
  public:
    virtual ~Transport() = default;
    // Fails with a TransportFailure or a JsonFailure, never with an RpcFailure.
    virtual tl::expected<Reply, ClientFailure> transmit(const Request& request) = 0;
};

}  // namespace quvane::rpc
