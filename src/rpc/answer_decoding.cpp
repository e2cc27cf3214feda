#include "answer_decoding.h"

#include <bitset>

#include <simdjson.h>

#include "patch_decoding.h"
#include "patch_schema.h"
#include "patch_value_decoding.h"
#include "response.h"

namespace quvane::rpc {
namespace {

enum Member : std::size_t { ResultMember, ErrorMember, IdMember, JsonRpcMember, MemberCount };

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
        const simdjson::ondemand::raw_json_string key = field.key();
        Member which = MemberCount;
        if (key.unsafe_is_equal("result")) {
            which = ResultMember;
        } else if (key.unsafe_is_equal("error")) {
            which = ErrorMember;
        } else if (key.unsafe_is_equal("id")) {
            which = IdMember;
        } else if (key.unsafe_is_equal("jsonrpc")) {
            which = JsonRpcMember;
        }
        if (which == MemberCount) {
            if (one_pass::key_has_escapes(key) || !one_pass::skip(field.value())) {
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

}  // namespace

template <class T>
bool decode_in_one_pass(Answer<T>& answer) {
    const std::string_view json = answer.bytes().json();
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document document;
    simdjson::ondemand::object envelope;
    one_pass::Pass pass{json, answer.arena(), answer.bytes().may_have_escapes()};
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
    Answer<T> answer(std::move(reply));
    if (decode_in_one_pass(answer)) {
        return answer;
    }
    return decode_with_tree<T>(std::move(answer.bytes()));
}

#define QUVANE_ANSWER(T)                                                        \
    template bool decode_in_one_pass<T>(Answer<T>&);                            \
    template tl::expected<Answer<T>, ClientFailure> decode_with_tree<T>(Reply); \
    template tl::expected<Answer<T>, ClientFailure> decode_answer<T>(Reply);

QUVANE_ANSWER(Empty)
QUVANE_ANSWER(PatchInfo)
QUVANE_ANSWER(PackageInfo)
QUVANE_ANSWER(std::vector<PatchListRecord>)
QUVANE_ANSWER(std::vector<PatchStateRecord>)

#undef QUVANE_ANSWER

}  // namespace quvane::rpc
