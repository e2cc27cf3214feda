#include "error_value.h"

#include <fmt/format.h>

namespace quvane {

std::string numbered_list(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t n = 0; n < items.size(); ++n) {
        fmt::format_to(std::back_inserter(text), "{}{}. {}", n == 0 ? "" : "\n\n", n, items[n]);
    }
    return text;
}

Error Error::listing(std::string context, std::vector<std::string> items) {
    Error error = Error(numbered_list(items)).context(std::move(context));
    error.listed_ = std::move(items);
    return error;
}

Error Error::context(std::string context) const& {
    return Error(*this).context(std::move(context));
}

Error Error::context(std::string context) && {
    causes_.insert(causes_.begin(), std::move(message_));
    message_ = std::move(context);
    // What was listed is now the second cause.
    listed_.clear();
    return std::move(*this);
}

}  // namespace quvane
