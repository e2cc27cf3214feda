#include <string>

#include <gtest/gtest.h>

#include "plain_ascii.h"

namespace quvane {
namespace {

// Every length across the word and block paths, with each kind of byte that must be escaped
// (or is not ASCII) at every position: a miss would write it unescaped into JSON or a label.
TEST(PlainAscii, FindsEveryByteToEscapeAtEveryLengthAndPlace) {
    const char needs_escape[] = {'\0', '\x1f', '"', '\\', '\x7f', '\x80', '\xff'};
    for (std::size_t length = 0; length <= 40; ++length) {
        const std::string plain(length, 'a');
        EXPECT_TRUE(plain_ascii(plain)) << length;
        for (std::size_t at = 0; at < length; ++at) {
            for (const char c : needs_escape) {
                std::string text = plain;
                text[at] = c;
                EXPECT_FALSE(plain_ascii(text)) << length << " " << at << " " << int(c);
            }
        }
    }
    EXPECT_TRUE(plain_ascii(" ~0123456789abcdefghijklmnopqrstuvwxyz{|}"));
}

}  // namespace
}  // namespace quvane
