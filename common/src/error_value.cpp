#include "error_value.h"

namespace quvane {

Error Error::context(std::string context) const& {
    return Error(*this).context(std::move(context));
}

Error Error::context(std::string context) && {
    causes_.insert(causes_.begin(), std::move(message_));
    message_ = std::move(context);
    return std::move(*this);
}

}  // namespace quvane
