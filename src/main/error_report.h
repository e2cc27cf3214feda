#pragma once

#include <string>

#include "error_value.h"

namespace quvane {

// The message, and when there are causes a blank line, "Caused by:" and the causes: one
// cause indented by four spaces, several numbered from 0 in a five-wide column. Further
// lines of a cause line up under its first. No final line feed.
std::string report_form(const Error& error);

// {"error":{"message":…,"causes":[…]}}, the same texts as the report form.
std::string json_form(const Error& error);

}  // namespace quvane
