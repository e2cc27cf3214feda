#include "answer_decoding.h"

#include <gtest/gtest.h>

#include "decoding/patch_schema.h"
#include "patch_records.h"

namespace quvane::rpc {
namespace {

using List = std::vector<PatchListRecord>;

// The answer decoded both ways agrees: where the quick way decides (records, or the daemon's
// error object), the tree decides the same; where the tree refuses, so does the decision, with
// the tree's message. `quick` says whether the quick way should decide itself, since an answer
// it always declined would still agree, only slowly.
TEST(AnswerDecoding, TheQuickWayDecidesOnlyAsTheTreeDoes) {
    const std::string list = R"([{"uuid":"u","name":"n","status":"Actived"}])";
    const struct {
        std::string json;
        bool quick;
    } cases[] = {
        {R"({"jsonrpc":"2.0","id":1,"result":)" + list + "}", true},
        {R"({"result":)" + list + R"(,"id":"x","jsonrpc":"2.0","error":null})", true},
        {R"({ "id" : 7 , "result" : [ { "status" : "Accepted" , "name" : "n" , "uuid" : "u" } , )"
         "{\"uuid\":\"\",\"name\":\"\xc3\xa9\xf0\x9f\x98\x80\",\"status\":\"Unknown\"} ] } ",
         true},
        {R"({"id":null,"result":[]})", true},
        {R"({"id":1.5,"result":)" + list + "}", true},
        {R"({"id":1,"result":[{"uuid":"u\"\u00e9\ud83d\ude00\/\t","name":"n\\","status":"Actived"}]})",
         true},
        // The forms the tree takes too: escaped names and keys, arrays, {"Name":null}, unknown
        // members of any kind.
        {R"({"id":1,"result":[{"uuid":"u","name":"n","status":"Activ\u0065d"}]})", true},
        {R"({"id":1,"result":[{"uuid":"u","n\u0061me":"n","status":{"Actived":null}}]})", true},
        {R"({"id":1,"result":[["u","n","Actived"]]})", true},
        {R"({"id":1,"x":[1,{"y":null},-2.5e3,true,"\u0041"],"result":)" + list + "}", true},
        {R"({"id":1,"result":[{"uuid":"u","name":"n","z":{"a":[[]]},"status":"Actived"}]})", true},
        {R"({"id":1,"result":)" + list + R"(,"error":{"code":-1,"message":"no","data":[1, 2]}})",
         true},
        {R"({"id":1,"error":{"message":"n\u006f","code":3,"x":{}},"result":"not a list"})", true},
        {R"({"id":1,"result":[{"uuid":"\ud83d","name":"n","status":"Actived"}]})", false},
        {R"({"id":1,"result":[{"uuid":"\ude00\ud83d","name":"n","status":"Actived"}]})", false},
        {R"({"id":1,"result":[{"uuid":"\q","name":"n","status":"Actived"}]})", false},
        {"{\"id\":1,\"result\":[{\"uuid\":\"u\",\"name\":\"n\xc3(\",\"status\":\"Actived\"}]}",
         false},
        {"{\"id\":1,\"result\":[{\"uuid\":\"u\",\"name\":\"n\x1f\",\"status\":\"Actived\"}]}",
         false},
        {R"({"id":1,"result":[{"uuid":"u","name":"n","status":"Actived"})", false},
        {R"({"id":1,"result":[{"uuid":"u)", false},
        {R"({"id":01,"result":)" + list + "}", false},
        {R"({"id":1,"error":nul,"result":)" + list + "}", false},
        {R"({"id":1,"result":[{"uuid":"u","name":"n","status":"Actived","name":"m"}]})", false},
        {R"({"id":1,"result":[{"uuid":"u","status":"Actived"}]})", false},
        {R"({"id":1,"result":[["u","n"]]})", false},
        {R"({"id":1,"result":[{"uuid":"u","name":"n","status":{"Actived":null,"x":null}}]})",
         false},
        {R"({"id":1,"result":)" + list + "} x", false},
        {R"({"id":1,"result":)" + list + R"(,"result":[]})", false},
        {R"({"id":1,"error":{"code":1.0,"message":"no"}})", false},
        {R"({"id":1,"error":{"code":2147483648,"message":"no"}})", false},
        {R"({"id":1,"x":01,"result":)" + list + "}", false},
        {R"({"id":1,"x":[1,],"result":)" + list + "}", false},
        {R"({"id":1,"x":tru,"result":)" + list + "}", false},
        {R"({"id":1,"x":"\q","result":)" + list + "}", false},
        {R"({"id":1,"x":"\ud800","result":)" + list + "}", false},
        {R"({"id":1,"x":1e400,"result":)" + list + "}", false},
        {R"({"id":1,"x":-9999999999999999999,"result":)" + list + "}", false},
        {"{\"id\":1,\"x\":\"a\x01\",\"result\":" + list + "}", false},
        {"{\"id\":1,\"x\":\"\xff\",\"result\":" + list + "}", false},
        {R"({"id":1,"result":[{"uuid":"u","name":"n","status":"Gone"}]})", false},
        {R"({"id":1})", false},
        // Nesting up to the parser's limit and not past it.
        {R"({"id":1,"x":)" + std::string(1023, '[') + std::string(1023, ']') + R"(,"result":)" +
             list + "}",
         true},
        {R"({"id":1,"x":)" + std::string(1024, '[') + std::string(1024, ']') + R"(,"result":)" +
             list + "}",
         false},
    };
    for (const auto& c : cases) {
        Answer<List> quick(Reply::copy_of(c.json));
        const auto failure = decode_quickly(quick);
        const bool decided = !failure || std::holds_alternative<RpcFailure>(*failure);
        EXPECT_EQ(decided, c.quick) << c.json;
        const auto tree = decode_with_tree<List>(Reply::copy_of(c.json));
        if (!failure) {
            ASSERT_TRUE(tree.has_value()) << c.json;
            EXPECT_EQ(*quick, **tree) << c.json;
        } else if (decided) {
            ASSERT_FALSE(tree.has_value()) << c.json;
            ASSERT_TRUE(std::holds_alternative<RpcFailure>(tree.error())) << c.json;
            EXPECT_EQ(std::get<RpcFailure>(*failure).error,
                      std::get<RpcFailure>(tree.error()).error)
                << c.json;
        }
        const auto answer = decode_answer<List>(Reply::copy_of(c.json));
        ASSERT_EQ(answer.has_value(), tree.has_value()) << c.json;
        if (answer) {
            EXPECT_EQ(**answer, **tree) << c.json;
        } else {
            EXPECT_EQ(answer.error().index(), tree.error().index()) << c.json;
        }
    }
}

// A valid answer decodes the same at any size: past the tree's bound too, in every form the
// records may take.
TEST(AnswerDecoding, AValidAnswerDecodesAtAnySize) {
    const std::string records[] = {
        R"(["u","n","Actived"])",
        R"({"uuid":"u","name":"n","status":{"Actived":null}})",
        R"({"uu\u0069d":"u","name":"n","status":"Actived"})",
        R"({"uuid":"u","name":"n","status":"Actived","since":[1,{"x":null}]})",
        R"({"uuid":"u","name":"n","status":"Actived","n":[18446744073709551615,1e100,0.12345678901234567890]})",
    };
    for (const std::string& record : records) {
        std::string json = R"({"jsonrpc":"2.0","id":1,"result":[)" + record;
        std::size_t count = 1;
        for (; json.size() <= tree_limit + 1024; ++count) {
            json += "," + record;
        }
        json += "]}";
        const auto answer = decode_answer<List>(Reply::copy_of(json));
        ASSERT_TRUE(answer.has_value()) << record;
        EXPECT_EQ((*answer)->size(), count) << record;
        EXPECT_EQ((*answer)->back(), (PatchListRecord{"u", "n", PatchStatus::Actived})) << record;
    }
}

}  // namespace
}  // namespace quvane::rpc
