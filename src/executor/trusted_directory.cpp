#include "trusted_directory.h"

#include <fmt/format.h>

#include "lossy_utf8.h"
#include "os/root_only.h"

namespace quvane::executor {

Result<> check_trusted_directory(os::AnchoredDirectory& directory) {
    if (directory.fd() < 0) {
        return {};
    }
    auto trusted = os::check_root_only(directory.fd(), directory.path());
    if (trusted) {
        return {};
    }
    return tl::unexpected(std::move(trusted.error())
                              .context(fmt::format("The work directory {} is not safe for the "
                                                   "operation lock",
                                                   to_text_lossy(directory.path().native())))
                              .of_kind(FailureKind::WorkDir));
}

}  // namespace quvane::executor
