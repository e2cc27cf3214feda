#include "response.h"

#include "decoding/schema_decoding.h"

#include <fmt/format.h>

#include "debug_form.h"

namespace quvane {

template <>
struct RecordSchema<rpc::RpcError> {
    static constexpr std::string_view name = "RpcError";
    static constexpr bool object_only = true;
    static constexpr auto fields = std::tuple{
        field("code", &rpc::RpcError::code),
        field("message", &rpc::RpcError::message),
        field("data", &rpc::RpcError::data),
    };
};

template <>
struct RecordSchema<rpc::Response::Members> {
    static constexpr std::string_view name = "Response";
    static constexpr bool object_only = true;
    static constexpr auto fields = std::tuple{
        field("result", &rpc::Response::Members::result),
        field("error", &rpc::Response::Members::error),
        field("id", &rpc::Response::Members::id),
        field("jsonrpc", &rpc::Response::Members::jsonrpc),
    };
};

}  // namespace quvane

namespace quvane::rpc {
namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

tl::unexpected<JsonFailure> failure(std::string detail) {
    return tl::unexpected(JsonFailure{std::move(detail)});
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
    auto members = decoding::decode<Members>(root);
    if (!members) {
        return failure(std::move(members.error().description));
    }
    response.members_ = std::move(*members);
    return response;
}

std::string Response::debug_form() const {
    const std::string none = "None";
    std::string error = none;
    if (const auto& rpc_error = members_.error) {
        error = debug_form::record("RpcError",
                                   {{"code", std::to_string(rpc_error->code)},
                                    {"message", debug_form::quoted(rpc_error->message)},
                                    {"data", rpc_error->data ? rpc_error->data->text : none}});
    }
    return debug_form::record(
        "Response", {{"result", members_.result ? simdjson::minify(*members_.result) : none},
                     {"error", std::move(error)},
                     {"id", members_.id.text},
                     {"jsonrpc", members_.jsonrpc ? debug_form::quoted(*members_.jsonrpc) : none}});
}

}  // namespace quvane::rpc
