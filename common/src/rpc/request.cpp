#include "request.h"

#include <fmt/format.h>

#include "debug_form.h"

namespace quvane::rpc {

std::string Request::to_json() const {
    std::string json;
    std::size_t size = method.size() + 64;
    for (const std::string& param : params) {
        size += param.size() + 1;
    }
    json.reserve(size);
    json.append(R"({"method":)");
    json.append(encode_argument(std::string_view(method)));
    json.append(R"(,"params":[)");
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (i > 0) {
            json.push_back(',');
        }
        json.append(params[i]);
    }
    fmt::format_to(std::back_inserter(json), R"(],"id":{},"jsonrpc":"2.0"}})", id);
    return json;
}

std::string Request::debug_form() const {
    return debug_form::record("Request", {{"method", debug_form::quoted(method)},
                                          {"params", debug_form::list(params)},
                                          {"id", std::to_string(id)},
                                          {"jsonrpc", debug_form::quoted("2.0")}});
}

std::string encode_argument(std::string_view text) {
    std::string json;
    json.reserve(text.size() + 2);
    json.push_back('"');
    for (const char c : text) {
        switch (c) {
            case '"':
                json.append("\\\"");
                break;
            case '\\':
                json.append("\\\\");
                break;
            case '\b':
                json.append("\\b");
                break;
            case '\t':
                json.append("\\t");
                break;
            case '\n':
                json.append("\\n");
                break;
            case '\f':
                json.append("\\f");
                break;
            case '\r':
                json.append("\\r");
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    fmt::format_to(std::back_inserter(json), "\\u{:04x}", static_cast<unsigned>(c));
                } else {
                    json.push_back(c);
                }
        }
    }
    json.push_back('"');
    return json;
}

std::string encode_argument(bool value) {
    return value ? "true" : "false";
}

}  // namespace quvane::rpc
