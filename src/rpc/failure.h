// What can go wrong in one exchange with the daemon. The remote call layer branches on the
// kind, so it is a typed value rather than text.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "decoding/raw_json.h"

namespace quvane::rpc {

// The error object of a response.
struct RpcError {
    std::int32_t code = 0;
    std::string message;
    std::optional<RawJson> data;  // kept, never looked at
    bool operator==(const RpcError&) const = default;
};

// The connection could not be made (SocketError, with the system error), the daemon closed it
// before answering (Timeout, without cause), or a time limit the user set ran out (Expired).
struct TransportFailure {
    enum class Kind { SocketError, Timeout, Expired } kind = Kind::SocketError;
    int errnum = 0;                         // for SocketError
    std::chrono::duration<double> limit{};  // for Expired

    static TransportFailure socket_error(int errnum) { return {Kind::SocketError, errnum, {}}; }
    static TransportFailure timeout() { return {Kind::Timeout, 0, {}}; }
    static TransportFailure expired(std::chrono::duration<double> limit) {
        return {Kind::Expired, 0, limit};
    }

    // The system error's text, or nothing for Timeout.
    std::optional<std::string> cause() const;
};

// The request could not be written, or the answer could not be read, parsed or converted.
struct JsonFailure {
    std::string detail;  // for the verbose log
    // What the user is told beside "Failed to parse response", when there is more to say than
    // the detail.
    std::optional<std::string> cause{};
};

// The daemon answered with an error object.
struct RpcFailure {
    RpcError error;
};

using ClientFailure = std::variant<TransportFailure, JsonFailure, RpcFailure>;

}  // namespace quvane::rpc
