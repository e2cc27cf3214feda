// The form in which the run reports its failure.
#pragma once

#include <string>

#include "error_value.h"
#include "terminal_text.h"

namespace quvane {

// The message, and when there are causes a blank line, "Caused by:" and the causes: one
// cause indented by four spaces, several numbered from 0 in a five-wide column. Further
// lines of a cause line up under its first. No final line feed. Every text is shown as `how`
// says, a listed cause item by item.
std::string report_form(const Error& error, Shown how = Shown::Verbatim);

}  // namespace quvane
