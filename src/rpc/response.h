// A JSON-RPC 2.0 response, parsed once: the result stays in the parsed document until the
// caller asks for it as a typed value.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <simdjson.h>
#include <tl/expected.hpp>

#include "failure.h"

namespace quvane::rpc {

class Response {
  public:
    // Parses the exact bytes of one JSON value. A repeated member, a member of the wrong type,
    // a missing "id" or an invalid error object is a failure; unknown members are skipped.
    static tl::expected<Response, JsonFailure> parse(std::string_view json);
    // The same without a copy: SIMDJSON_PADDING readable bytes must follow `json`.
    static tl::expected<Response, JsonFailure> parse_padded(std::string_view json);

    // The result, or nothing when it is absent or null.
    std::optional<simdjson::dom::element> result() const { return result_; }
    const std::optional<RpcError>& error() const { return error_; }
    const std::string& id() const { return id_; }  // raw JSON text
    const std::optional<std::string>& jsonrpc() const { return jsonrpc_; }

    std::string debug_form() const;

  private:
    // Owns the tree that `result_` points into; the parser's own working memory is released
    // as soon as the text is parsed.
    std::unique_ptr<simdjson::dom::document> document_;
    std::optional<simdjson::dom::element> result_;
    std::optional<RpcError> error_;
    std::string id_;
    std::optional<std::string> jsonrpc_;
};

}  // namespace quvane::rpc
