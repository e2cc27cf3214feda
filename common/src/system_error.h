// Operating-system errors as the user sees them.
#pragma once

#include <string>

#include "error_value.h"

namespace quvane {

// The platform's description of `errnum` with its number: "No such file or directory (os error 2)".
std::string system_error_text(int errnum);

// The symbolic name of `errnum` ("EIO"), or its number when the platform has no name for it.
std::string system_error_name(int errnum);

// An error whose message is the text of `errnum`; callers capture errno on the failing line.
Error system_error(int errnum);

}  // namespace quvane
