// The answer to get_patch_list with `count` records, as the benchmarks decode and scan it.
#pragma once

#include <iterator>
#include <string>

#include <fmt/format.h>

// With `unknown`, each record carries that member too, as a newer daemon might send.
inline std::string list_response(int count, std::string_view unknown = "") {
    std::string json = R"({"jsonrpc":"2.0","id":1,"result":[)";
    for (int i = 0; i < count; ++i) {
        fmt::format_to(
            std::back_inserter(json),
            R"({}{{"uuid":"3f2a9c1e-7b44-4d0a-9e51-{:012}","name":"CVE-2024-{}-kernel-fix",{}"status":"Actived"}})",
            i == 0 ? "" : ",", i, 10000 + i, unknown);
    }
    return json + "]}";
}
