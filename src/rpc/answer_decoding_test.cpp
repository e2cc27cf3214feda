#include "answer_decoding.h"

#include <gtest/gtest.h>

#include "decoding/compact_decoding.h"
#include "decoding/patch_schema.h"
#include "patch_records.h"

namespace quvane::rpc {
namespace {

using List = std::vector<PatchListRecord>;

// The answer decoded every way agrees: where the quick way or the one-pass decoder takes an
// answer, the tree decoder gives the same records; where the tree refuses it, so does the
// decision, with the tree's message. `quick` and `one_pass` say whether the faster ways should
// take it themselves (the one pass includes the quick way), since an answer they always
// declined would still agree, only slowly.
TEST(AnswerDecoding, TheFasterWaysTakeOnlyWhatTheTreeTakesAndTheSameRecords) {
    const std::string list = R"([{"uuid":"u","name":"n","status":"Actived"}])";
    const struct {
        std::string json;
        bool quick;
        bool one_pass;
    } cases[] = {
        {R"({"jsonrpc":"2.0","id":1,"result":)" + list + "}", true, true},
        {R"({"result":)" + list + R"(,"id":"x","jsonrpc":"2.0","error":null})", true, true},
        {R"({ "id" : 7 , "result" : [ { "status" : "Accepted" , "name" : "n" , "uuid" : "u" } , )"
         "{\"uuid\":\"\",\"name\":\"\xc3\xa9\xf0\x9f\x98\x80\",\"status\":\"Unknown\"} ] } ",
         true, true},
        {R"({"id":null,"result":[]})", true, true},
        {R"({"id":1.5,"result":)" + list + "}", false, true},
        {R"({"id":1,"result":[{"uuid":"u\"\u00e9\ud83d\ude00\/\t","name":"n\\","status":"Actived"}]})",
         true, true},
        {R"({"id":1,"result":[{"uuid":"\ud83d","name":"n","status":"Actived"}]})", false, false},
        {R"({"id":1,"result":[{"uuid":"\ude00\ud83d","name":"n","status":"Actived"}]})", false,
         false},
        {R"({"id":1,"result":[{"uuid":"\q","name":"n","status":"Actived"}]})", false, false},
        {R"({"id":1,"result":[{"uuid":"u","name":"n","status":"Activ\u0065d"}]})", false, true},
        {R"({"id":1,"x":[1,{"y":null},-2.5e3,true,"\u0041"],"result":)" + list + "}", false, true},
        {"{\"id\":1,\"result\":[{\"uuid\":\"u\",\"name\":\"n\xc3(\",\"status\":\"Actived\"}]}",
         false, false},
        {"{\"id\":1,\"result\":[{\"uuid\":\"u\",\"name\":\"n\x1f\",\"status\":\"Actived\"}]}",
         false, false},
        {R"({"id":1,"result":[{"uuid":"u","name":"n","status":"Actived"})", false, false},
        {R"({"id":1,"result":[{"uuid":"u)", false, false},
        {R"({"id":01,"result":)" + list + "}", false, false},
        {R"({"id":1,"error":nul,"result":)" + list + "}", false, false},
        {R"({"id":1,"result":[{"uuid":"u","name":"n","status":"Actived","name":"m"}]})", false,
         false},
        {R"({"id":1,"result":[{"uuid":"u","n\u0061me":"n","status":"Actived"}]})", false, false},
        {R"({"id":1,"result":[{"uuid":"u","status":"Actived"}]})", false, false},
        {R"({"id":1,"result":[["u","n","Actived"]]})", false, false},
        {R"({"id":1,"result":)" + list + "} x", false, false},
        {R"({"id":1,"result":)" + list + R"(,"result":[]})", false, false},
        {R"({"id":1,"result":)" + list + R"(,"error":{"code":1,"message":"no"}})", false, false},
        {R"({"id":1,"x":01,"result":)" + list + "}", false, false},
        {R"({"id":1,"x":[1,],"result":)" + list + "}", false, false},
        {R"({"id":1,"x":tru,"result":)" + list + "}", false, false},
        {R"({"id":1,"x":"\q","result":)" + list + "}", false, false},
        {R"({"id":1,"x":"\ud800","result":)" + list + "}", false, false},
        {R"({"id":1,"x":1e400,"result":)" + list + "}", false, false},
        {"{\"id\":1,\"x\":\"a\x01\",\"result\":" + list + "}", false, false},
        {"{\"id\":1,\"x\":\"\xff\",\"result\":" + list + "}", false, false},
        {R"({"id":1,"result":[{"uuid":"u","name":"n","status":"Gone"}]})", false, false},
        {R"({"id":1})", false, false},
    };
    for (const auto& c : cases) {
        const Reply bytes = Reply::copy_of(c.json);
        List quick;
        TextArena arena;
        const bool taken_quickly = compact::decode(bytes.json(), arena, quick);
        EXPECT_EQ(taken_quickly, c.quick) << c.json;
        Answer<List> fast(Reply::copy_of(c.json));
        const bool taken = decode_in_one_pass(fast);
        EXPECT_EQ(taken, c.one_pass) << c.json;
        const auto tree = decode_with_tree<List>(Reply::copy_of(c.json));
        const auto decided = decode_answer<List>(Reply::copy_of(c.json));
        ASSERT_EQ(decided.has_value(), tree.has_value()) << c.json;
        if (taken) {
            ASSERT_TRUE(tree.has_value()) << c.json;
            EXPECT_EQ(*fast, **tree) << c.json;
        }
        if (taken_quickly) {
            ASSERT_TRUE(tree.has_value()) << c.json;
            EXPECT_EQ(quick, **tree) << c.json;
        }
        if (decided) {
            EXPECT_EQ(**decided, **tree) << c.json;
        } else {
            EXPECT_EQ(decided.error().index(), tree.error().index()) << c.json;
        }
    }
}

}  // namespace
}  // namespace quvane::rpc
