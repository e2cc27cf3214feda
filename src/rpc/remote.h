// The remote call layer: JSON-RPC 2.0 requests with increasing ids over the transport, and what
// the user sees of a call: each failure becomes one of the run's fixed messages (the daemon's
// own text kept as it came), requests and responses go to the debug log, and the console is
// flushed before the call may block.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decoding/answer.h"
#include "error_value.h"
#include "os/anchored_directory.h"
#include "patch_records.h"
#include "transport.h"

namespace quvane::rpc {

class RpcRemote {
  public:
    // Connects to nothing: a daemon that is not running is noticed at the first call. With a
    // time-out, every call must complete within it; without one, calls wait without limit.
    explicit RpcRemote(const std::filesystem::path& socket_path,
                       std::optional<std::chrono::microseconds> timeout = std::nullopt);
    // The socket file `name` in `directory`, reached through the directory as it was first
    // looked up.
    RpcRemote(const std::shared_ptr<os::AnchoredDirectory>& directory, std::string_view name,
              std::optional<std::chrono::microseconds> timeout = std::nullopt);
    // For tests: the same remote over another transport.
    RpcRemote(std::filesystem::path socket_path, std::unique_ptr<Transport> transport);

    // Calls `method` with the JSON texts of its arguments and decodes the result as T, one of
    // Empty, PatchInfo, PackageInfo and the lists of PatchListRecord and PatchStateRecord,
    // held with the bytes it points into.
    // Standard output is flushed first, since the call may block for long.
    template <class T>
    Result<Answer<T>> call(std::string_view method, std::vector<std::string> params);

  private:
    Error translate(const ClientFailure& failure, std::string_view method) const;
    // The answer in the verbose log.
    static void log_answer(const Reply& reply);

    std::filesystem::path socket_path_;
    std::unique_ptr<Transport> transport_;
    std::uint64_t next_id_ = 1;  // of the next request, taken even if it is never sent
};

}  // namespace quvane::rpc
