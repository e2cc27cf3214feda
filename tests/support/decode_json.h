// One complete JSON value decoded as a daemon result, for tests and fuzz targets: the records
// point into the tree that the answer keeps.
#pragma once

#include <memory>
#include <string_view>

#include <simdjson.h>

#include "decoding/answer.h"
#include "decoding/patch_schema.h"
#include "decoding/schema_decoding.h"

namespace quvane {

template <class T>
Decoded<Answer<T>> decode_json(std::string_view json) {
    auto tree = std::make_unique<simdjson::dom::document>();
    simdjson::dom::element value;
    {
        simdjson::dom::parser parser;
        const simdjson::padded_string padded(json);
        if (const auto error =
                parser.parse_into_document(*tree, padded.data(), padded.size()).get(value);
            error != simdjson::SUCCESS) {
            return tl::unexpected(DecodeError{simdjson::error_message(error)});
        }
    }
    auto decoded = decoding::decode<T>(value);
    if (!decoded) {
        return tl::unexpected(std::move(decoded.error()));
    }
    Answer<T> answer;
    answer.records() = std::move(*decoded);
    answer.keep_tree(std::move(tree));
    return answer;
}

}  // namespace quvane
