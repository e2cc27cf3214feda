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
    std::optional<simdjson::dom::element> result() const { return members_.result; }
    const std::optional<RpcError>& error() const { return members_.error; }
    const std::string& id() const { return members_.id.text; }  // raw JSON text
    const std::optional<std::string>& jsonrpc() const { return members_.jsonrpc; }

    std::string debug_form() const;

    // The tree that the result and the records decoded from it point into, for whoever keeps
    // them; the response holds nothing afterwards.
    std::unique_ptr<simdjson::dom::document> release_tree() noexcept {
        members_ = {};
        return std::move(document_);
    }

    // The members as they are decoded, described by a schema: absent and null are alike for
    // the optional ones; "id" must be there, whatever its value.
    struct Members {
        std::optional<simdjson::dom::element> result;
        std::optional<RpcError> error;
        RawJson id;
        std::optional<std::string> jsonrpc;
    };

  private:
    // Owns the tree that the result points into; the parser's own working memory is released
    // as soon as the text is parsed.
    std::unique_ptr<simdjson::dom::document> document_;
    Members members_;
};

}  // namespace quvane::rpc
