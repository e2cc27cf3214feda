#include "failure.h"

#include "system_error.h"

namespace quvane::rpc {

std::optional<std::string> TransportFailure::cause() const {
    if (kind == Kind::Timeout) {
        return std::nullopt;
    }
    return system_error_text(errnum);
}

}  // namespace quvane::rpc
