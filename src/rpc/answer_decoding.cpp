#include "answer_decoding.h"

#include <optional>

#include <fmt/format.h>

#include <simdjson.h>

#include "decoding/compact_decoding.h"
#include "decoding/patch_schema.h"
#include "decoding/result_types.h"
#include "decoding/schema_decoding.h"
#include "response.h"

namespace quvane::rpc {
namespace {

// The error object first, whatever the result holds; then the result as T; a missing or
// null result is decoded as JSON null, which only Empty accepts. The records point into the
// response's tree.
template <class T>
tl::expected<T, ClientFailure> result_of(const Response& response) {
    if (response.error()) {
        return tl::unexpected(ClientFailure(RpcFailure{*response.error()}));
    }
    simdjson::dom::parser parser;
    simdjson::dom::element value;
    if (response.result()) {
        value = *response.result();
    } else if (const auto error = parser.parse("null", 4).get(value); error != simdjson::SUCCESS) {
        return tl::unexpected(ClientFailure(JsonFailure{simdjson::error_message(error)}));
    }
    auto decoded = decoding::decode<T>(value);
    if (!decoded) {
        return tl::unexpected(ClientFailure(JsonFailure{std::move(decoded.error().description)}));
    }
    return std::move(*decoded);
}

}  // namespace

template <class T>
std::optional<ClientFailure> decode_quickly(Answer<T>& answer) {
    std::optional<compact::ErrorObject> error;
    switch (compact::decode(answer.reply().json(), answer.arena(), answer.records(), error)) {
        case compact::Outcome::Decoded:
            return std::nullopt;
        case compact::Outcome::Refused:
            return ClientFailure(RpcFailure{
                RpcError{error->code, std::string(error->message), std::move(error->data)}});
        case compact::Outcome::Declined:
            break;
    }
    return ClientFailure(JsonFailure{"declined"});
}

template <class T>
tl::expected<Answer<T>, ClientFailure> decode_with_tree(Reply reply) {
    auto response = Response::parse_padded(reply.json());
    if (!response) {
        return tl::unexpected(ClientFailure(std::move(response.error())));
    }
    auto result = result_of<T>(*response);
    if (!result) {
        return tl::unexpected(std::move(result.error()));
    }
    Answer<T> answer(std::move(reply));
    answer.records() = std::move(*result);
    answer.keep_tree(response->release_tree());
    return answer;
}

template <class T>
tl::expected<Answer<T>, ClientFailure> decode_answer(Reply reply) {
    {
        Answer<T> answer(std::move(reply));
        auto failure = decode_quickly(answer);
        if (!failure) {
            return answer;
        }
        if (std::holds_alternative<RpcFailure>(*failure)) {
            return tl::unexpected(std::move(*failure));
        }
        // What the quick way took goes before the tree is built.
        reply = std::move(answer.reply());
    }
    if (reply.json().size() <= tree_limit) {
        return decode_with_tree<T>(std::move(reply));
    }
    return tl::unexpected(ClientFailure(JsonFailure{fmt::format(
        "the answer of {} bytes is not a valid response of the expected shape (an answer this "
        "long is not parsed into a tree, which would say where it went wrong)",
        reply.json().size())}));
}

#define QUVANE_ANSWER(T)                                                        \
    template std::optional<ClientFailure> decode_quickly<T>(Answer<T>&);        \
    template tl::expected<Answer<T>, ClientFailure> decode_with_tree<T>(Reply); \
    template tl::expected<Answer<T>, ClientFailure> decode_answer<T>(Reply);

QUVANE_FOR_EACH_RESULT_TYPE(QUVANE_ANSWER)

#undef QUVANE_ANSWER

}  // namespace quvane::rpc
