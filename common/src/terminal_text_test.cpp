#include "terminal_text.h"

#include <gtest/gtest.h>

namespace quvane {
namespace {

TEST(TerminalText, EscapesWhatWouldActOnATerminal) {
    const struct {
        std::string text;
        std::string escaped;
    } cases[] = {
        {"plain ünïcödé", "plain ünïcödé"},
        {"\x1b[2J", "\\x1b[2J"},
        {"a\nb\r\b\t", "a\\x0ab\\x0d\\x08\\x09"},
        {"\x7f", "\\x7f"},
        {"\u0085\u009b", "\\u0085\\u009b"},
        {"\u202e\u2066\u200f\u061c", "\\u202e\\u2066\\u200f\\u061c"},
        {"\u2028\u202f\u00a0", "\u2028\u202f\u00a0"},
        {"cut \xe2\x80", "cut \xe2\x80"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shown(c.text, Shown::Escaped), c.escaped) << c.text;
        EXPECT_EQ(shown(c.text, Shown::Verbatim), c.text);
    }
}

}  // namespace
}  // namespace quvane
