#include "wire/bracket_counter.h"

#include <gtest/gtest.h>

#include <string>

namespace quvane::wire {
namespace {

// Where the count ends a value, given its bytes whole or one at a time.
std::optional<std::size_t> end_of(const std::string& bytes, bool wide, std::size_t chunk) {
    BracketCounter counter(wide);
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        if (const auto end = counter.scan(std::string_view(bytes).substr(at, chunk))) {
            return at + *end;
        }
    }
    return std::nullopt;
}

TEST(BracketCounter, BlocksFrameAsBytesDoWhateverTheChunking) {
    const std::string padding(70, ' ');
    const std::string cases[] = {
        // A reverse solidus outside a string escapes nothing: the quotation mark after it
        // opens a string (deep enough that the block may not hold the end).
        "[[[[" + padding + "\\\"]\"" + padding + "]]]]",
        "[[[[" + padding + "\\\\\"]\"" + padding + "]]]]",
        // Inside strings, escapes across the block's edge.
        "[\"" + std::string(61, 'a') + "\\\"]\"" + padding + "]",
        "{\"k\":[\"\\\\\"]," + padding + "\"v\":{}}",
    };
    for (const std::string& bytes : cases) {
        const auto reference = end_of(bytes, false, 1);
        for (const bool wide : {false, true}) {
            EXPECT_EQ(end_of(bytes, wide, bytes.size()), reference) << bytes;
            EXPECT_EQ(end_of(bytes, wide, 64), reference) << bytes;
        }
    }
}

}  // namespace
}  // namespace quvane::wire
