#include "one_pass_decoding.h"

#include <cstring>

namespace quvane::one_pass {
namespace {

using simdjson::ondemand::json_type;

// The text between a string token's quotation marks, as it stands in the bytes: the token
// runs from its opening mark up to the next token, blanks included.
std::string_view string_contents(std::string_view token) {
    const std::size_t close = token.find_last_of('"');
    return token.substr(1, close - 1);
}

// Calls `take(key, value)` for each member of the object `item`, its key's escapes replaced
// (in the parser's buffer); false when `item` is no object, a member is faulty or `take`
// declines.
template <class Take>
bool for_each_member(value item, Take take) {
    simdjson::ondemand::object object;
    if (item.get_object().get(object) != simdjson::SUCCESS) {
        return false;
    }
    for (auto member : object) {
        simdjson::ondemand::field field;
        std::string_view key;
        if (std::move(member).get(field) != simdjson::SUCCESS ||
            field.unescaped_key().get(key) != simdjson::SUCCESS || !take(key, field.value())) {
            return false;
        }
    }
    return true;
}

}  // namespace

const char* item_start(value& item) noexcept {
    return item.raw_json_token().data();
}

bool decode_into(value item, Pass& pass, std::string_view& out) {
    const std::string_view contents = string_contents(item.raw_json_token());
    simdjson::ondemand::raw_json_string raw;
    if (item.get_raw_json_string().get(raw) != simdjson::SUCCESS) {
        return false;
    }
    if (std::memchr(contents.data(), '\\', contents.size()) == nullptr) {
        out = contents;
        return true;
    }
    // Escapes are replaced in the parser's own buffer, which goes with the parser: keep a copy.
    std::string_view unescaped;
    if (item.get_string().get(unescaped) != simdjson::SUCCESS) {
        return false;
    }
    out = pass.arena.keep(unescaped);
    return true;
}

bool decode_into(value item, Pass&, std::uint32_t& out) {
    std::uint64_t number = 0;
    if (item.get_uint64().get(number) != simdjson::SUCCESS || number > UINT32_MAX) {
        return false;
    }
    out = static_cast<std::uint32_t>(number);
    return true;
}

bool decode_into(value item, Pass& pass, std::map<std::string_view, std::string_view>& out) {
    return for_each_member(item, [&](std::string_view key, value text_item) {
        std::string_view text;
        if (!decode_into(text_item, pass, text)) {
            return false;
        }
        // The key lies in the parser's buffer; the map is small, so keep it always.
        out.insert_or_assign(pass.arena.keep(key), text);
        return true;
    });
}

bool skip(value item) {
    json_type type{};
    if (item.type().get(type) != simdjson::SUCCESS) {
        return false;
    }
    switch (type) {
        case json_type::object:
            return for_each_member(item,
                                   [](std::string_view, value member) { return skip(member); });
        case json_type::array: {
            simdjson::ondemand::array array;
            if (item.get_array().get(array) != simdjson::SUCCESS) {
                return false;
            }
            for (auto element : array) {
                if (element.error() != simdjson::SUCCESS || !skip(element.value_unsafe())) {
                    return false;
                }
            }
            return true;
        }
        case json_type::string: {
            std::string_view text;
            return item.get_string().get(text) == simdjson::SUCCESS;
        }
        case json_type::number: {
            simdjson::ondemand::number number;
            return item.get_number().get(number) == simdjson::SUCCESS;
        }
        case json_type::boolean: {
            bool truth = false;
            return item.get_bool().get(truth) == simdjson::SUCCESS;
        }
        case json_type::null: {
            bool null = false;
            return item.is_null().get(null) == simdjson::SUCCESS && null;
        }
    }
    return false;
}

bool key_has_escapes(simdjson::ondemand::raw_json_string key) {
    // The key ends at the first quotation mark that no reverse solidus escapes; one reverse
    // solidus before it is enough to decline.
    for (const char* c = key.raw(); *c != '"'; ++c) {
        if (*c == '\\') {
            return true;
        }
    }
    return false;
}

}  // namespace quvane::one_pass
