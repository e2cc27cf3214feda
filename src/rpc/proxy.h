// The typed face of the daemon. Over the remote call layer it adds the daemon's vocabulary: one
// operation per method, with its parameters encoded and its result type fixed, so that no
// caller spells a method name or a JSON parameter.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "error_value.h"
#include "patch_records.h"
#include "remote.h"

namespace quvane::rpc {

using StateRecords = std::vector<PatchStateRecord>;
using PatchList = std::vector<PatchListRecord>;

class PatchProxy {
  public:
    explicit PatchProxy(std::shared_ptr<RpcRemote> remote) : remote_(std::move(remote)) {}

    Result<> check_patch(std::string_view identifier);
    Result<Answer<StateRecords>> apply_patch(std::string_view identifier);
    Result<Answer<StateRecords>> remove_patch(std::string_view identifier);
    Result<Answer<StateRecords>> active_patch(std::string_view identifier);
    Result<Answer<StateRecords>> deactive_patch(std::string_view identifier);
    Result<Answer<StateRecords>> accept_patch(std::string_view identifier);
    Result<Answer<PatchList>> get_patch_list();
    Result<Answer<StateRecords>> get_patch_status(std::string_view identifier);
    Result<Answer<PackageInfo>> get_patch_target(std::string_view identifier);
    Result<Answer<PatchInfo>> get_patch_info(std::string_view identifier);
    Result<> save_patch_status();
    Result<> restore_patch_status(bool accepted);

  private:
    template <class T>
    Result<Answer<T>> call(std::string_view method, std::vector<std::string> params) {
        return remote_->call<T>(method, std::move(params));
    }

    std::shared_ptr<RpcRemote> remote_;
};

}  // namespace quvane::rpc
