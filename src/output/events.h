// The executor's events and what they carry, as the output speaks of them.
#pragma once

#include "executor/result_sink.h"

namespace quvane::output {

using executor::BootNote;
using executor::BootView;
using executor::NamedLists;
using executor::Records;
using executor::ResultSink;
using executor::StateRecords;

}  // namespace quvane::output
