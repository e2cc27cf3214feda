#include "failure.h"

#include <fmt/format.h>

#include "system_error.h"

namespace quvane::rpc {

std::optional<std::string> TransportFailure::cause() const {
    if (kind == Kind::Timeout) {
        return std::nullopt;
    }
    if (kind == Kind::Expired) {
        return fmt::format("the daemon did not answer within {} seconds", limit.count());
    }
    return system_error_text(errnum);
}

}  // namespace quvane::rpc
