#include "wire/request.h"

#include <gtest/gtest.h>

namespace quvane::wire {
namespace {

TEST(EncodeArgument, EscapesOnlyWhatJsonRequires) {
    const struct {
        std::string text;
        std::string json;
    } cases[] = {
        {"P1", R"("P1")"},
        {"", R"("")"},
        {"a\"b", R"("a\"b")"},
        {"back\\slash", R"("back\\slash")"},
        {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
        {std::string("\0\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
        {"\x1b[0m", R"("\u001b[0m")"},
        {"del\x7f", "\"del\x7f\""},
        {"caf\xC3\xA9 \xE2\x82\xAC", "\"caf\xC3\xA9 \xE2\x82\xAC\""},
        {"sl/ash", R"("sl/ash")"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encode_argument(std::string_view(c.text)), c.json);
    }
    EXPECT_EQ(encode_argument(true), "true");
    EXPECT_EQ(encode_argument(false), "false");
}

TEST(Request, CompactForm) {
    const Request first{"get_patch_list", {}, 1};
    EXPECT_EQ(first.to_json(), R"({"method":"get_patch_list","params":[],"id":1,"jsonrpc":"2.0"})");
    EXPECT_EQ(first.to_json().size(), 62u);
    const Request second{"apply_patch", {encode_argument(std::string_view("P1"))}, 2};
    EXPECT_EQ(second.to_json(),
              R"({"method":"apply_patch","params":["P1"],"id":2,"jsonrpc":"2.0"})");
    const Request third{"x", {"true", "\"b\""}, 3};
    EXPECT_EQ(third.to_json(), R"({"method":"x","params":[true,"b"],"id":3,"jsonrpc":"2.0"})");
}

TEST(Request, DebugFormNamesEveryMember) {
    const Request request{"apply_patch", {R"("P1")"}, 7};
    EXPECT_EQ(request.debug_form(),
              "Request {\n"
              "    method: \"apply_patch\",\n"
              "    params: [\n"
              "        \"P1\",\n"
              "    ],\n"
              "    id: 7,\n"
              "    jsonrpc: \"2.0\",\n"
              "}");
}

}  // namespace
}  // namespace quvane::wire
