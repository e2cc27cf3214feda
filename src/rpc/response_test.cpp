#include "rpc/response.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "patch_records.h"
#include "rpc/answer_decoding.h"

namespace quvane::rpc {
namespace {

using ::testing::HasSubstr;

TEST(Response, AcceptanceRules) {
    const struct {
        std::string_view json;
        bool ok;
    } cases[] = {
        {R"({"jsonrpc":"2.0","result":[],"id":1})", true},
        {R"({"result":[],"id":99})", true},
        {R"({"result":[],"id":"abc","jsonrpc":"1.0"})", true},
        {R"({"result":[],"id":null,"jsonrpc":null})", true},
        {R"({"id":{"nested":[1]},"error":null,"extra":{"x":[1,2]}})", true},
        {R"({"result":[]})", false},
        {R"({"result":[],"id":1,"id":2})", false},
        {R"({"result":[],"result":[],"id":1})", false},
        {R"({"result":[],"id":1,"jsonrpc":2})", false},
        {R"({"result":[],"id":1,"error":"bad"})", false},
        {R"({"id":1,"error":{"code":1}})", false},
        {R"({"id":1,"error":{"message":"m"}})", false},
        {R"({"id":1,"error":{"code":2147483648,"message":"m"}})", false},
        {R"({"id":1,"error":{"code":-2147483649,"message":"m"}})", false},
        {R"({"id":1,"error":{"code":"1","message":"m"}})", false},
        {R"({"id":1,"error":{"code":1.0,"message":"m"}})", false},
        {R"({"id":1,"error":{"code":1,"message":7}})", false},
        {R"({"id":1,"error":{"code":1,"code":1,"message":"m"}})", false},
        {R"([{"id":1}])", false},
        {R"({"id":1)", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Response::parse(c.json).has_value(), c.ok) << c.json;
    }
}

TEST(Response, KeepsErrorObjectAndRawMembers) {
    const auto response = Response::parse(
        R"({"jsonrpc":"2.0","error":{"code":-2147483648,"message":"Method not found","data":{"a": [1, 2]}},"id":"x"})");
    ASSERT_TRUE(response.has_value());
    ASSERT_TRUE(response->error().has_value());
    EXPECT_EQ(*response->error(),
              (RpcError{-2147483648, "Method not found", RawJson{R"({"a":[1,2]})"}}));
    EXPECT_EQ(response->id(), R"("x")");
    EXPECT_EQ(response->jsonrpc(), "2.0");
    EXPECT_FALSE(response->result().has_value());
}

template <class T>
tl::expected<Answer<T>, ClientFailure> extract(std::string_view json) {
    return decode_answer<T>(Reply::copy_of(json));
}

TEST(AnswerResult, ErrorFirstThenResultThenNull) {
    const auto both = extract<std::vector<PatchStateRecord>>(
        R"({"result":[],"error":{"code":1,"message":"no"},"id":1})");
    ASSERT_FALSE(both.has_value());
    ASSERT_TRUE(std::holds_alternative<RpcFailure>(both.error()));
    EXPECT_EQ(std::get<RpcFailure>(both.error()).error.message, "no");

    EXPECT_TRUE(
        extract<std::vector<PatchStateRecord>>(R"({"result":[],"error":null,"id":1})").has_value());
    EXPECT_TRUE(extract<Empty>(R"({"result":null,"id":1})").has_value());
    EXPECT_TRUE(extract<Empty>(R"({"id":1})").has_value());

    const auto check_failure = extract<Empty>(R"({"result":true,"id":1})");
    ASSERT_FALSE(check_failure.has_value());
    EXPECT_TRUE(std::holds_alternative<JsonFailure>(check_failure.error()));
    const auto info_failure = extract<PatchInfo>(R"({"id":1})");
    ASSERT_FALSE(info_failure.has_value());
    EXPECT_THAT(std::get<JsonFailure>(info_failure.error()).detail,
                HasSubstr("expected struct PatchInfo"));
}

TEST(Response, DebugFormShowsEveryMember) {
    const auto response = Response::parse(R"({"result": [ 1 ],"id":3})");
    ASSERT_TRUE(response.has_value());
    EXPECT_EQ(response->debug_form(),
              "Response {\n    result: [1],\n    error: None,\n    id: 3,\n    jsonrpc: None,\n}");
}

}  // namespace
}  // namespace quvane::rpc
