// Arbitrary bytes as the result of every daemon method, and the text forms of what decodes.
#include <cstdint>
#include <string_view>

#include "output/patch_text.h"
#include "support/decode_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    using namespace quvane;
    if (const auto info = decode_json<PatchInfo>(json)) {
        (void)to_text(**info);
    }
    if (const auto package = decode_json<PackageInfo>(json)) {
        (void)to_text(**package);
    }
    if (const auto list = decode_json<std::vector<PatchListRecord>>(json)) {
        for (const auto& record : **list)
            (void)status_word(record.status);
    }
    (void)decode_json<std::vector<PatchStateRecord>>(json);
    (void)decode_json<Empty>(json);
    return 0;
}
