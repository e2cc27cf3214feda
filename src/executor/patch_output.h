// The texts the patch subcommands write, each line one Info record.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "error_value.h"
#include "patch_records.h"

namespace quvane::executor::output {

inline constexpr std::string_view separator = "-------------------------------------------";
inline constexpr std::string_view remove_wait_line = "----------Please wait for seconds!---------";
inline constexpr std::string_view restore_wait_line =
    "----------Please wait for seconds!----------";
inline constexpr std::string_view checks_passed = "Checks are passed!";

// Writes `line` as one Info record of the patch executor.
void write_line(std::string_view line);

// Per pair: separator, "Patch: {identifier}", separator, the record's text; then a closing
// separator, written even when there are no pairs.
void write_blocks(const std::vector<std::pair<std::string, std::string>>& identified_texts);

// "{name}: {status}" per record.
void write_states(const std::vector<PatchStateRecord>& states);

// The header and one row per record, columns padded to 40, 60 and 12 characters.
void write_table(const std::vector<PatchListRecord>& records);

// "Operation failed", caused by the numbered messages of `errors`; success when there are none.
Result<> summary(const std::vector<Error>& errors);

}  // namespace quvane::executor::output
