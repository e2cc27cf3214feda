#pragma once

#include <filesystem>
#include <string_view>

#include "error_value.h"

namespace quvane::args {

// Makes `typed` absolute and resolves "." and ".." lexically; links are not followed and the
// directory need not exist. Only a relative path asks for the current directory, whose
// lookup failure is the error.
Result<std::filesystem::path> absolute_work_dir(std::string_view typed);

}  // namespace quvane::args
