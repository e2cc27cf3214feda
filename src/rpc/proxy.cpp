#include "proxy.h"

namespace quvane::rpc {
namespace {

using States = std::vector<PatchStateRecord>;

std::vector<std::string> identifier_param(std::string_view identifier) {
    return {encode_argument(identifier)};
}

Result<> nothing(Result<Empty> result) {
    if (!result) {
        return tl::unexpected(std::move(result.error()));
    }
    return {};
}

}  // namespace

Result<> PatchProxy::check_patch(std::string_view identifier) {
    return nothing(call<Empty>("check_patch", identifier_param(identifier)));
}

Result<States> PatchProxy::apply_patch(std::string_view identifier) {
    return call<States>("apply_patch", identifier_param(identifier));
}

Result<States> PatchProxy::remove_patch(std::string_view identifier) {
    return call<States>("remove_patch", identifier_param(identifier));
}

Result<States> PatchProxy::active_patch(std::string_view identifier) {
    return call<States>("active_patch", identifier_param(identifier));
}

Result<States> PatchProxy::deactive_patch(std::string_view identifier) {
    return call<States>("deactive_patch", identifier_param(identifier));
}

Result<States> PatchProxy::accept_patch(std::string_view identifier) {
    return call<States>("accept_patch", identifier_param(identifier));
}

Result<std::vector<PatchListRecord>> PatchProxy::get_patch_list() {
    return call<std::vector<PatchListRecord>>("get_patch_list", {});
}

Result<States> PatchProxy::get_patch_status(std::string_view identifier) {
    return call<States>("get_patch_status", identifier_param(identifier));
}

Result<PackageInfo> PatchProxy::get_patch_target(std::string_view identifier) {
    return call<PackageInfo>("get_patch_target", identifier_param(identifier));
}

Result<PatchInfo> PatchProxy::get_patch_info(std::string_view identifier) {
    return call<PatchInfo>("get_patch_info", identifier_param(identifier));
}

Result<> PatchProxy::save_patch_status() {
    return nothing(call<Empty>("save_patch_status", {}));
}

Result<> PatchProxy::restore_patch_status(bool accepted) {
    return nothing(call<Empty>("restore_patch_status", {encode_argument(accepted)}));
}

}  // namespace quvane::rpc
