// Decoding of the daemon's results into patch records, all or nothing.
#pragma once

#include <string>
#include <string_view>

#include <simdjson.h>
#include <tl/expected.hpp>

#include "decode_error.h"
#include "patch_records.h"

namespace quvane {

// The five result types: Empty, PatchInfo, PackageInfo and the lists of PatchListRecord
// and PatchStateRecord. Their text points into the parsed document of `value`.
template <class T>
Decoded<T> decode_result(simdjson::dom::element value);

// For a response without result: succeeds only for Empty.
template <class T>
Decoded<T> decode_null();

}  // namespace quvane
