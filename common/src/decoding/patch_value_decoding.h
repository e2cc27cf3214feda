// The JSON value kinds that only patch records hold, for the generic decoder: declared in the
// records' namespace, where its templates find them by argument-dependent lookup. Include it
// before instantiating the decoder for a patch record.
#pragma once

#include <simdjson.h>

#include "patch_records.h"
#include "schema_decoding.h"

namespace quvane {

// JSON null only.
decoding::Status decode_into(simdjson::dom::element value, Empty& out);
// {"Unix":[bytes]}: a file-system name, any bytes.
decoding::Status decode_into(simdjson::dom::element value, FileSystemName& out);

}  // namespace quvane
