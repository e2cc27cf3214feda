#include "request.h"

#include <fmt/format.h>

#include "debug_form.h"
#include "json_string.h"

namespace quvane::wire {

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
    json::append_string(json, text, json::Escaping::Exact);
    return json;
}

std::string encode_argument(bool value) {
    return value ? "true" : "false";
}

}  // namespace quvane::wire
