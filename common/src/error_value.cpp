#include "error_value.h"

#include <fmt/format.h>

namespace quvane {

std::string_view kind_word(FailureKind kind) noexcept {
    switch (kind) {
        case FailureKind::Unreachable:
            return "unreachable";
        case FailureKind::Timeout:
            return "timeout";
        case FailureKind::Refused:
            return "refused";
        case FailureKind::UnknownPatch:
            return "unknown-patch";
        case FailureKind::Locked:
            return "locked";
        case FailureKind::Interrupted:
            return "interrupted";
        case FailureKind::WorkDir:
            return "work-dir";
        case FailureKind::NotSuperuser:
            return "not-superuser";
        case FailureKind::BadAnswer:
            return "bad-answer";
        case FailureKind::BootSet:
            return "boot-set";
        case FailureKind::Already:
            return "already";
        case FailureKind::UserDatabase:
            return "user-database";
        case FailureKind::Other:
            break;
    }
    return "other";
}

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
