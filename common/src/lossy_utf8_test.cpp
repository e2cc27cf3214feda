#include "lossy_utf8.h"

#include <gtest/gtest.h>

namespace quvane {
namespace {

TEST(LossyUtf8, ReplacesEachMaximalInvalidSequenceOnce) {
    const std::string r = "\xEF\xBF\xBD";
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"", ""},
        {"plain ascii", "plain ascii"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"lib\xFF", "lib" + r},
        {"\x80\x80", r + r},  // lone continuation bytes
        {"\xC3", r},          // cut two-byte sequence
        {"\xE2\x82", r},      // cut three-byte sequence: one replacement
        {"\xE2\x82z", r + "z"},
        {"\xC0\xAF", r + r},                  // overlong lead
        {"\xED\xA0\x80", r + r + r},          // surrogate
        {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
        {"\xF0\x9F\x98", r},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_text_lossy(c.bytes), c.text) << "bytes: " << c.bytes;
    }
}

TEST(LossyUtf8, CountsCodePointsNotBytes) {
    EXPECT_EQ(column_width(""), 0u);
    EXPECT_EQ(column_width("Uuid"), 4u);
    EXPECT_EQ(column_width("\xC3\xA9t\xC3\xA9"), 3u);
    EXPECT_EQ(column_width("\xF0\x9F\x98\x80"), 1u);
    // Multi-byte characters at every position of the sixteen-byte steps and the tail.
    for (std::size_t at = 0; at < 20; ++at) {
        std::string text(20, 'x');
        text.insert(at, "\xE2\x82\xAC\xC3\xA9");  // two characters, five bytes
        EXPECT_EQ(column_width(text), 22u) << at;
    }
}

}  // namespace
}  // namespace quvane
