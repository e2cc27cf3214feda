#include "response.h"

#include <limits>

#include <fmt/format.h>

#include "debug_form.h"

namespace quvane::rpc {
namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

tl::unexpected<JsonFailure> failure(std::string detail) {
    return tl::unexpected(JsonFailure{std::move(detail)});
}

tl::unexpected<JsonFailure> duplicate(std::string_view member) {
    return failure(fmt::format("duplicate field `{}`", member));
}

tl::expected<RpcError, JsonFailure> parse_error_object(simdjson::dom::object object) {
    RpcError error;
    bool has_code = false;
    bool has_message = false;
    bool has_data = false;
    for (const auto member : object) {
        if (member.key == "code") {
            if (std::exchange(has_code, true))
                return duplicate("code");
            int64_t code = 0;
            if (member.value.type() == element_type::DOUBLE ||
                member.value.get(code) != simdjson::SUCCESS ||
                code < std::numeric_limits<std::int32_t>::min() ||
                code > std::numeric_limits<std::int32_t>::max()) {
                return failure(fmt::format("invalid error code {}, expected a 32-bit integer",
                                           simdjson::minify(member.value)));
            }
            error.code = static_cast<std::int32_t>(code);
        } else if (member.key == "message") {
            if (std::exchange(has_message, true))
                return duplicate("message");
            std::string_view message;
            if (member.value.get(message) != simdjson::SUCCESS) {
                return failure("invalid error message, expected a string");
            }
            error.message.assign(message);
        } else if (member.key == "data") {
            if (std::exchange(has_data, true))
                return duplicate("data");
            error.data = simdjson::minify(member.value);
        }
    }
    if (!has_code)
        return failure("missing field `code` in error object");
    if (!has_message)
        return failure("missing field `message` in error object");
    return error;
}

}  // namespace

tl::expected<Response, JsonFailure> Response::parse(std::string_view json) {
    const simdjson::padded_string padded(json);
    return parse_padded(padded);
}

tl::expected<Response, JsonFailure> Response::parse_padded(std::string_view json) {
    Response response;
    response.document_ = std::make_unique<simdjson::dom::document>();
    element root;
    simdjson::error_code parse_error = simdjson::SUCCESS;
    {
        simdjson::dom::parser parser;
        parse_error =
            parser.parse_into_document(*response.document_, json.data(), json.size(), false)
                .get(root);
    }
    if (parse_error != simdjson::SUCCESS) {
        return failure(fmt::format("{} (in a response of {} bytes)",
                                   simdjson::error_message(parse_error), json.size()));
    }
    simdjson::dom::object object;
    if (root.get(object) != simdjson::SUCCESS) {
        return failure("invalid response, expected a JSON object");
    }
    bool has_result = false;
    bool has_error = false;
    bool has_id = false;
    bool has_jsonrpc = false;
    for (const auto member : object) {
        if (member.key == "result") {
            if (std::exchange(has_result, true))
                return duplicate("result");
            if (!member.value.is_null()) {
                response.result_ = member.value;
            }
        } else if (member.key == "error") {
            if (std::exchange(has_error, true))
                return duplicate("error");
            if (member.value.is_null()) {
                continue;
            }
            simdjson::dom::object error_object;
            if (member.value.get(error_object) != simdjson::SUCCESS) {
                return failure("invalid type of `error`, expected an object or null");
            }
            auto error = parse_error_object(error_object);
            if (!error) {
                return tl::unexpected(std::move(error.error()));
            }
            response.error_ = std::move(*error);
        } else if (member.key == "id") {
            if (std::exchange(has_id, true))
                return duplicate("id");
            response.id_ = simdjson::minify(member.value);
        } else if (member.key == "jsonrpc") {
            if (std::exchange(has_jsonrpc, true))
                return duplicate("jsonrpc");
            if (member.value.is_null()) {
                continue;
            }
            std::string_view version;
            if (member.value.get(version) != simdjson::SUCCESS) {
                return failure("invalid type of `jsonrpc`, expected a string or null");
            }
            response.jsonrpc_ = std::string(version);
        }
    }
    if (!has_id) {
        return failure("missing field `id`");
    }
    return response;
}

std::string Response::debug_form() const {
    const std::string none = "None";
    std::string error = none;
    if (error_) {
        error = debug_form::record("RpcError", {{"code", std::to_string(error_->code)},
                                                {"message", debug_form::quoted(error_->message)},
                                                {"data", error_->data ? *error_->data : none}});
    }
    return debug_form::record("Response",
                              {{"result", result_ ? simdjson::minify(*result_) : none},
                               {"error", std::move(error)},
                               {"id", id_},
                               {"jsonrpc", jsonrpc_ ? debug_form::quoted(*jsonrpc_) : none}});
}

}  // namespace quvane::rpc
