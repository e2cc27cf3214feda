// The results as text lines, each one Info record of the patch executor.
#pragma once

#include <string_view>

#include "result_sink.h"

namespace quvane::executor {

inline constexpr std::string_view separator = "-------------------------------------------";
inline constexpr std::string_view remove_wait_line = "----------Please wait for seconds!---------";
inline constexpr std::string_view restore_wait_line =
    "----------Please wait for seconds!----------";
inline constexpr std::string_view checks_passed = "Checks are passed!";

class TextSink final : public ResultSink {
  public:
    void notice(std::string_view line) override;
    // The header and one row per record, columns padded to 40, 60 and 12 characters.
    void show(const std::vector<PatchListRecord>& patches) override;
    // Per success: separator, "Patch: {identifier}", separator, the record's text; then a
    // closing separator, written even when nothing succeeded.
    void show(const std::vector<Outcome<PatchInfo>>& outcomes) override;
    void show(const std::vector<Outcome<PackageInfo>>& outcomes) override;
    // "{name}: {status}" per record of every success.
    void show(const std::vector<Outcome<StateRecords>>& outcomes) override;
    // "Checks are passed!" when every check succeeded.
    void show(const std::vector<Outcome<void>>& outcomes) override;
};

}  // namespace quvane::executor
