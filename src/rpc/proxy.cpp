#include "proxy.h"

namespace quvane::rpc {
namespace {

std::vector<std::string> identifier_param(std::string_view identifier) {
    return {encode_argument(identifier)};
}

Result<> nothing(Result<Answer<Empty>> result) {
    if (!result) {
        return tl::unexpected(std::move(result.error()));
    }
    return {};
}

}  // namespace

Result<> PatchProxy::check_patch(std::string_view identifier) {
    return nothing(call<Empty>("check_patch", identifier_param(identifier)));
}

Result<Answer<StateRecords>> PatchProxy::apply_patch(std::string_view identifier) {
    return call<StateRecords>("apply_patch", identifier_param(identifier));
}

Result<Answer<StateRecords>> PatchProxy::remove_patch(std::string_view identifier) {
    return call<StateRecords>("remove_patch", identifier_param(identifier));
}

Result<Answer<StateRecords>> PatchProxy::active_patch(std::string_view identifier) {
    return call<StateRecords>("active_patch", identifier_param(identifier));
}

Result<Answer<StateRecords>> PatchProxy::deactive_patch(std::string_view identifier) {
    return call<StateRecords>("deactive_patch", identifier_param(identifier));
}

Result<Answer<StateRecords>> PatchProxy::accept_patch(std::string_view identifier) {
    return call<StateRecords>("accept_patch", identifier_param(identifier));
}

Result<Answer<PatchList>> PatchProxy::get_patch_list() {
    return call<PatchList>("get_patch_list", {});
}

Result<Answer<StateRecords>> PatchProxy::get_patch_status(std::string_view identifier) {
    return call<StateRecords>("get_patch_status", identifier_param(identifier));
}

Result<Answer<PackageInfo>> PatchProxy::get_patch_target(std::string_view identifier) {
    return call<PackageInfo>("get_patch_target", identifier_param(identifier));
}

Result<Answer<PatchInfo>> PatchProxy::get_patch_info(std::string_view identifier) {
    return call<PatchInfo>("get_patch_info", identifier_param(identifier));
}

Result<> PatchProxy::save_patch_status() {
    return nothing(call<Empty>("save_patch_status", {}));
}

Result<> PatchProxy::restore_patch_status(bool accepted) {
    return nothing(call<Empty>("restore_patch_status", {encode_argument(accepted)}));
}

}  // namespace quvane::rpc
