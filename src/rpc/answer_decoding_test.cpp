#include "answer_decoding.h"

#include <gtest/gtest.h>

#include "patch_records.h"

namespace quvane::rpc {
namespace {

using List = std::vector<PatchListRecord>;

// The answer decoded both ways agrees: where the one-pass decoder takes an answer, the tree
// decoder gives the same records; where the tree refuses it, so does the decision, with the
// tree's message. `one_pass` says whether the fast decoder should take it itself, since an
// answer it always declines would still agree, only slowly.
TEST(AnswerDecoding, OnePassTakesOnlyWhatTheTreeTakesAndTheSameRecords) {
    const std::string list = R"([{"uuid":"u","name":"n","status":"Actived"}])";
    const struct {
        std::string json;
        bool one_pass;
    } cases[] = {
        {R"({"jsonrpc":"2.0","id":1,"result":)" + list + "}", true},
        {R"({"result":)" + list + R"(,"id":"x","jsonrpc":"2.0","error":null})", true},
        {R"({"id":1,"result":[{"uuid":"u\"\u00e9","name":"n\\","status":"Actived"}]})", true},
        {R"({"id":1,"x":[1,{"y":null},-2.5e3,true,"\u0041"],"result":)" + list + "}", true},
        {R"({"id":1,"result":[{"uuid":"u","name":"n","status":"Actived","name":"m"}]})", false},
        {R"({"id":1,"result":[{"uuid":"u","n\u0061me":"n","status":"Actived"}]})", false},
        {R"({"id":1,"result":[{"uuid":"u","status":"Actived"}]})", false},
        {R"({"id":1,"result":[["u","n","Actived"]]})", false},
        {R"({"id":1,"result":)" + list + "} x", false},
        {R"({"id":1,"result":)" + list + R"(,"result":[]})", false},
        {R"({"id":1,"result":)" + list + R"(,"error":{"code":1,"message":"no"}})", false},
        {R"({"id":1,"x":01,"result":)" + list + "}", false},
        {R"({"id":1,"x":[1,],"result":)" + list + "}", false},
        {R"({"id":1,"x":tru,"result":)" + list + "}", false},
        {R"({"id":1,"x":"\q","result":)" + list + "}", false},
        {R"({"id":1,"x":"\ud800","result":)" + list + "}", false},
        {R"({"id":1,"x":1e400,"result":)" + list + "}", false},
        {"{\"id\":1,\"x\":\"a\x01\",\"result\":" + list + "}", false},
        {"{\"id\":1,\"x\":\"\xff\",\"result\":" + list + "}", false},
        {R"({"id":1,"result":[{"uuid":"u","name":"n","status":"Gone"}]})", false},
        {R"({"id":1})", false},
    };
    for (const auto& c : cases) {
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
        if (decided) {
            EXPECT_EQ(**decided, **tree) << c.json;
        } else {
            EXPECT_EQ(decided.error().index(), tree.error().index()) << c.json;
        }
    }
}

}  // namespace
}  // namespace quvane::rpc
