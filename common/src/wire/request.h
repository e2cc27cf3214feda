// A JSON-RPC 2.0 request and the JSON texts of its arguments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quvane::wire {

struct Request {
    std::string method;
    std::vector<std::string> params;  // each the complete JSON text of one argument
    std::uint64_t id = 0;

    // The compact form, members in the order method, params, id, jsonrpc, nothing after it.
    std::string to_json() const;
    std::string debug_form() const;
};

// The JSON string of `text`, its bytes unchanged but for the escapes JSON needs.
std::string encode_argument(std::string_view text);
std::string encode_argument(const char* text) = delete;  // would otherwise become a boolean
std::string encode_argument(bool value);

}  // namespace quvane::wire
