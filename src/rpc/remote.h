// The one object through which the front end talks to the daemon: one connection and one
// request per call, every failure turned into a message ready for the user.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error_value.h"
#include "json_rpc_client.h"

namespace quvane::rpc {

class RpcRemote {
  public:
    // Connects to nothing: a daemon that is not running is noticed at the first call. With a
    // time-out, every call must complete within it; without one, calls wait without limit.
    explicit RpcRemote(const std::filesystem::path& socket_path,
                       std::optional<std::chrono::microseconds> timeout = std::nullopt);
    // For tests: the same remote over another transport.
    RpcRemote(std::filesystem::path socket_path, std::unique_ptr<Transport> transport);

    // Calls `method` with the JSON texts of its arguments and decodes the result as T, one of
    // Empty, PatchInfo, PackageInfo and the lists of PatchListRecord and PatchStateRecord.
    // Standard output is flushed first, since the call may block for long.
    template <class T>
    Result<T> call(std::string_view method, std::vector<std::string> params);

  private:
    Error translate(const ClientFailure& failure) const;

    std::filesystem::path socket_path_;
    JsonRpcClient client_;
};

}  // namespace quvane::rpc
