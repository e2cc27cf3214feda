#include "answer_decoding.h"

#include <bitset>
#include <cstdint>
#include <optional>

#include <fmt/format.h>

#include <simdjson.h>

#include "decoding/compact_decoding.h"
#include "decoding/patch_decoding.h"
#include "decoding/patch_schema.h"
#include "decoding/patch_value_decoding.h"
#include "decoding/result_types.h"
#include "response.h"

namespace quvane::rpc {
namespace {

enum Member : std::size_t { ResultMember, ErrorMember, IdMember, JsonRpcMember, MemberCount };

// Which member of the envelope `key` names; MemberCount for any other.
Member member_named(simdjson::ondemand::raw_json_string key) {
    return key.unsafe_is_equal("result")    ? ResultMember
           : key.unsafe_is_equal("error")   ? ErrorMember
           : key.unsafe_is_equal("id")      ? IdMember
           : key.unsafe_is_equal("jsonrpc") ? JsonRpcMember
                                            : MemberCount;
}

// The envelope's members, the result decoded as T. An error object, a missing result that T
// cannot be, a repeated member or any fault: declined.
template <class T>
bool decode_envelope(simdjson::ondemand::object envelope, one_pass::Pass& pass, T& out) {
    std::bitset<MemberCount> seen;
    for (auto member : envelope) {
        simdjson::ondemand::field field;
        if (std::move(member).get(field) != simdjson::SUCCESS) {
            return false;
        }
        const Member which = member_named(field.key());
        if (which == MemberCount) {
            if (one_pass::key_has_escapes(field.key()) || !one_pass::skip(field.value())) {
                return false;
            }
            continue;
        }
        if (seen.test(which)) {
            return false;
        }
        seen.set(which);
        bool null = false;
        switch (which) {
            case ResultMember:
                if (!decode_into(field.value(), pass, out)) {
                    return false;
                }
                break;
            case ErrorMember:
                if (field.value().is_null().get(null) != simdjson::SUCCESS || !null) {
                    return false;
                }
                break;
            case IdMember:
                if (!one_pass::skip(field.value())) {
                    return false;
                }
                break;
            case JsonRpcMember: {
                std::string_view version;
                if (!one_pass::decode_into(field.value(), pass, version)) {
                    return false;
                }
                break;
            }
            case MemberCount:
                break;
        }
    }
    // Without a result, only Empty is decoded (as null), and that by the tree decoder.
    return seen.test(IdMember) && seen.test(ResultMember);
}

// The error object first, whatever the result holds; then the result as T; a missing or
// null result is decoded as JSON null, which only Empty accepts. The records point into the
// response's tree.
template <class T>
tl::expected<T, ClientFailure> result_of(const Response& response) {
    if (response.error()) {
        return tl::unexpected(ClientFailure(RpcFailure{*response.error()}));
    }
    auto decoded = response.result() ? decode_result<T>(*response.result()) : decode_null<T>();
    if (!decoded) {
        return tl::unexpected(ClientFailure(JsonFailure{std::move(decoded.error().description)}));
    }
    return std::move(*decoded);
}

// Whether nothing follows the value just read.
bool at_end(simdjson::ondemand::document& document) {
    const char* next = nullptr;
    return document.current_location().get(next) == simdjson::OUT_OF_BOUNDS;
}

// Whether the answer's values are so many that indexing them (four bytes for each) would take
// the run past five times the answer: an array of bare digits, say. Each mark the framing
// counted stands beside at most one value, so twice the marks bound the values from above.
bool too_dense(const Reply& reply) {
    return 2 * reply.marks() * 4 > reply.json().size() * 7 / 2;
}

// An error object, "code" and "message" required, "data" kept as its text; nothing when
// anything is amiss.
std::optional<RpcError> decode_error_object(simdjson::ondemand::value item) {
    simdjson::ondemand::object object;
    if (item.get_object().get(object) != simdjson::SUCCESS) {
        return std::nullopt;
    }
    RpcError error;
    std::optional<std::int64_t> code;
    std::optional<std::string_view> message;
    for (auto member : object) {
        simdjson::ondemand::field field;
        if (std::move(member).get(field) != simdjson::SUCCESS) {
            return std::nullopt;
        }
        const simdjson::ondemand::raw_json_string name = field.key();
        std::string_view text;
        bool taken = false;
        if (name.unsafe_is_equal("code")) {
            taken = !code && field.value().get_int64().get(code.emplace()) == simdjson::SUCCESS;
        } else if (name.unsafe_is_equal("message")) {
            taken =
                !message && field.value().get_string().get(message.emplace()) == simdjson::SUCCESS;
        } else if (name.unsafe_is_equal("data")) {
            simdjson::ondemand::value data = field.value();
            taken = !error.data && simdjson::to_json_string(data).get(text) == simdjson::SUCCESS;
            error.data = RawJson{std::string(text.substr(0, text.find_last_not_of(" \t\r\n") + 1))};
        } else {
            taken = !one_pass::key_has_escapes(name) && one_pass::skip(field.value());
        }
        if (!taken) {
            return std::nullopt;
        }
    }
    if (!code || !message || *code != static_cast<std::int32_t>(*code)) {
        return std::nullopt;
    }
    error.code = static_cast<std::int32_t>(*code);
    error.message = *message;
    return error;
}

// The error object of an answer the one pass declined, taken in one more pass; nothing when the
// answer has none, or anything about it is amiss. Member rules as for the tree: "id" must be
// there, no member twice.
std::optional<RpcError> error_in_one_pass(const Reply& reply) {
    const std::string_view json = reply.json();
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document document;
    simdjson::ondemand::object envelope;
    if (parser.iterate(json.data(), json.size(), reply.padded_size()).get(document) !=
            simdjson::SUCCESS ||
        document.get_object().get(envelope) != simdjson::SUCCESS) {
        return std::nullopt;
    }
    std::optional<RpcError> error;
    std::bitset<MemberCount> seen;
    for (auto member : envelope) {
        simdjson::ondemand::field field;
        if (std::move(member).get(field) != simdjson::SUCCESS) {
            return std::nullopt;
        }
        const Member which = member_named(field.key());
        if (which == MemberCount) {
            if (one_pass::key_has_escapes(field.key()) || !one_pass::skip(field.value())) {
                return std::nullopt;
            }
            continue;
        }
        if (seen.test(which)) {
            return std::nullopt;
        }
        seen.set(which);
        if (which == ErrorMember) {
            error = decode_error_object(field.value());
        }
        if (which == ErrorMember ? !error : !one_pass::skip(field.value())) {
            return std::nullopt;
        }
    }
    if (!seen.test(IdMember) || !at_end(document)) {
        return std::nullopt;
    }
    return error;
}

}  // namespace

template <class T>
bool decode_in_one_pass(Answer<T>& answer) {
    const std::string_view json = answer.bytes().json();
    if (compact::decode(json, answer.arena(), answer.records())) {
        return true;
    }
    // What the quick way took, and the room it made.
    answer.records() = T{};
    answer.arena() = TextArena{};
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document document;
    simdjson::ondemand::object envelope;
    one_pass::Pass pass{json, answer.arena()};
    return parser.iterate(json.data(), json.size(), answer.bytes().padded_size()).get(document) ==
               simdjson::SUCCESS &&
           document.get_object().get(envelope) == simdjson::SUCCESS &&
           decode_envelope(envelope, pass, answer.records()) && at_end(document);
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
    if (reply.json().size() > tree_limit && too_dense(reply)) {
        return tl::unexpected(ClientFailure(JsonFailure{fmt::format(
            "the answer of {} bytes holds more values than any response of the patch service "
            "could (nearly one in every two bytes)",
            reply.json().size())}));
    }
    {
        Answer<T> answer(std::move(reply));
        if (decode_in_one_pass(answer)) {
            return answer;
        }
        // What the pass built goes before anything else is built.
        reply = std::move(answer.bytes());
    }
    if (reply.json().size() <= tree_limit) {
        return decode_with_tree<T>(std::move(reply));
    }
    // A tree takes up to ten times the bytes it is built from: a long answer is decided without.
    if (auto error = error_in_one_pass(reply)) {
        return tl::unexpected(ClientFailure(RpcFailure{std::move(*error)}));
    }
    return tl::unexpected(ClientFailure(JsonFailure{fmt::format(
        "the answer of {} bytes is not a valid response of the expected shape (an answer this "
        "long is checked in one pass, which does not say where it went wrong)",
        reply.json().size())}));
}

#define QUVANE_ANSWER(T)                                                        \
    template bool decode_in_one_pass<T>(Answer<T>&);                            \
    template tl::expected<Answer<T>, ClientFailure> decode_with_tree<T>(Reply); \
    template tl::expected<Answer<T>, ClientFailure> decode_answer<T>(Reply);

QUVANE_FOR_EACH_RESULT_TYPE(QUVANE_ANSWER)

#undef QUVANE_ANSWER

}  // namespace quvane::rpc
