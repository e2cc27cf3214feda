#include "rpc/remote.h"

#include <future>
#include <optional>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include "os/unix_socket.h"
#include "patch_service.h"
#include "support/process.h"
#include "support/stub_daemon.h"

namespace quvane::rpc {
namespace {

using StateRecords = std::vector<PatchStateRecord>;
using PatchList = std::vector<PatchListRecord>;

using testing::Reply;
using testing::StubDaemon;

class RemoteTest : public ::testing::Test {
  protected:
    testing::TemporaryDirectory dir;
    std::filesystem::path socket = dir.path() / "quvaned.sock";
    RpcRemote remote{socket};

    // One call of `method`, with `identifier` as its parameter when there is one.
    template <class T = Empty>
    Result<Answer<T>> call(std::string_view method, std::optional<std::string_view> identifier) {
        std::vector<std::string> params;
        if (identifier) {
            params.push_back(wire::encode_argument(*identifier));
        }
        return remote.call<T>(method, std::move(params));
    }

    std::string connect_failure(std::string_view cause) const {
        return fmt::format("Cannot connect to quvane daemon at unix://{}, {}", socket.string(),
                           cause);
    }
};

TEST_F(RemoteTest, SendsExactRequestsForEveryMethod) {
    // What comes back is the development daemon's; only what was sent counts here.
    dev::PatchService service(
        *dev::load_catalogue(QUVANE_SOURCE_DIR "/tools/quvaned-dev/catalogue.json"), dir.path());
    StubDaemon daemon(
        socket, [&](const std::string& request) { return Reply::answer(service.handle(request)); });
    const std::string id = "q\"b\\\x01\x7f\xC3\xA9";
    (void)call("check_patch", id);
    (void)call<StateRecords>("apply_patch", id);
    (void)call<StateRecords>("remove_patch", id);
    (void)call<StateRecords>("active_patch", id);
    (void)call<StateRecords>("deactive_patch", id);
    (void)call<StateRecords>("accept_patch", id);
    EXPECT_TRUE(call<PatchList>("get_patch_list", std::nullopt));
    (void)call<StateRecords>("get_patch_status", id);
    (void)call<PackageInfo>("get_patch_target", id);
    (void)call<PatchInfo>("get_patch_info", id);
    EXPECT_TRUE(call("save_patch_status", std::nullopt));
    EXPECT_TRUE(remote.call<Empty>("restore_patch_status", {wire::encode_argument(true)}));
    EXPECT_TRUE(remote.call<Empty>("restore_patch_status", {wire::encode_argument(false)}));
    const std::string param = "\"q\\\"b\\\\\\u0001\x7f\xC3\xA9\"";
    const std::vector<std::string> expected{
        R"({"method":"check_patch","params":[)" + param + R"(],"id":1,"jsonrpc":"2.0"})",
        R"({"method":"apply_patch","params":[)" + param + R"(],"id":2,"jsonrpc":"2.0"})",
        R"({"method":"remove_patch","params":[)" + param + R"(],"id":3,"jsonrpc":"2.0"})",
        R"({"method":"active_patch","params":[)" + param + R"(],"id":4,"jsonrpc":"2.0"})",
        R"({"method":"deactive_patch","params":[)" + param + R"(],"id":5,"jsonrpc":"2.0"})",
        R"({"method":"accept_patch","params":[)" + param + R"(],"id":6,"jsonrpc":"2.0"})",
        R"({"method":"get_patch_list","params":[],"id":7,"jsonrpc":"2.0"})",
        R"({"method":"get_patch_status","params":[)" + param + R"(],"id":8,"jsonrpc":"2.0"})",
        R"({"method":"get_patch_target","params":[)" + param + R"(],"id":9,"jsonrpc":"2.0"})",
        R"({"method":"get_patch_info","params":[)" + param + R"(],"id":10,"jsonrpc":"2.0"})",
        R"({"method":"save_patch_status","params":[],"id":11,"jsonrpc":"2.0"})",
        R"({"method":"restore_patch_status","params":[true],"id":12,"jsonrpc":"2.0"})",
        R"({"method":"restore_patch_status","params":[false],"id":13,"jsonrpc":"2.0"})",
    };
    EXPECT_EQ(daemon.requests(), expected);
    EXPECT_EQ(daemon.connections(), expected.size());
}

TEST_F(RemoteTest, MissingSocketAndNothingListening) {
    const auto missing = call<PatchList>("get_patch_list", std::nullopt);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message(), connect_failure("No such file or directory (os error 2)"));
    EXPECT_TRUE(missing.error().causes().empty());

    // A socket file that nobody listens on.
    {
        auto bound = os::unix_socket();
        ASSERT_TRUE(bound);
        const auto address = os::unix_address(socket);
        ASSERT_EQ(
            ::bind(bound->get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address), 0);
    }
    const auto refused = call<PatchList>("get_patch_list", std::nullopt);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message(), connect_failure("Connection refused (os error 111)"));

    RpcRemote too_long{dir.path() / std::string(120, 'x')};
    EXPECT_NE(
        too_long.call<PatchList>("get_patch_list", {}).error().message().find("File name too long"),
        std::string::npos);
}

TEST_F(RemoteTest, TranslatesEveryFailureOfAListCall) {
    const std::string ok_list = R"([{"name":"n","status":"Actived"}])";
    const struct {
        Reply reply;
        std::optional<std::string> failure;  // nullopt: success
    } cases[] = {
        {{Reply::Kind::Close}, connect_failure("Connection timeout")},
        {{Reply::Kind::HalfThenClose, R"({"jsonrpc":"2.0","result":[{"na)"},
         "Failed to parse response"},
        {Reply::answer("garbage"), "Failed to parse response"},
        {Reply::answer("  \n"), connect_failure("Connection timeout")},
        {Reply::answer(R"({"jsonrpc":"2.0","result":[]})"), "Failed to parse response"},
        {Reply::answer(R"({"result":[],"id":77})"), std::nullopt},
        {Reply::answer(R"({"result":[],"id":"x","jsonrpc":"9.9"})"), std::nullopt},
        {Reply::answer(R"({"result":[],"id":null})"), std::nullopt},
        {Reply::answer(R"({"error":{"code":-32601,"message":"Method not found"},"id":1})"),
         "Method is unimplemented"},
        {Reply::answer(R"({"error":{"code":5,"message":"Method not found"},"id":1})"),
         "Method is unimplemented"},
        {Reply::answer(R"({"error":{"code":-32601,"message":"method not found"},"id":1})"),
         "method not found"},
        {Reply::answer(R"({"error":{"code":-32601,"message":"Method not found."},"id":1})"),
         "Method not found."},
        {Reply::answer(R"({"error":{"code":1,"message":""},"id":1})"), ""},
        {Reply::answer(R"({"result":[],"error":{"code":1,"message":"Patch is busy"},"id":1})"),
         "Patch is busy"},
        {Reply::answer(R"({"result":[],"error":null,"id":1})"), std::nullopt},
        {Reply::answer(R"({"result":{"name":"n","status":"Actived"},"id":1})"),
         "Failed to parse response"},
        {Reply::answer(R"({"result":null,"id":1})"), "Failed to parse response"},
        {Reply::answer(R"({"error":{"code":2147483648,"message":"x"},"id":1})"),
         "Failed to parse response"},
        {Reply::answer(R"({"error":{"code":"1","message":"x"},"id":1})"),
         "Failed to parse response"},
    };
    for (const auto& c : cases) {
        StubDaemon daemon(socket, {c.reply});
        const auto result = call<StateRecords>("apply_patch", "P1");
        if (!c.failure) {
            EXPECT_TRUE(result.has_value()) << c.reply.bytes << ": " << result.error().message();
        } else {
            ASSERT_FALSE(result.has_value()) << c.reply.bytes;
            EXPECT_EQ(result.error().message(), *c.failure) << c.reply.bytes;
        }
    }
}

TEST_F(RemoteTest, WrongResultShapesFailForEveryResultType) {
    StubDaemon daemon(socket, [](const std::string& request) {
        const std::string method = testing::view_request(request).method;
        if (method == "check_patch" || method == "save_patch_status" ||
            method == "restore_patch_status") {
            return Reply::result(request, "true");
        }
        if (method == "get_patch_info" || method == "get_patch_target")
            return Reply::result(request, "\"text\"");
        if (method == "get_patch_list")
            return Reply::result(request, R"({"uuid":"u","name":"n","status":"Actived"})");
        return Reply::result(request, "42");
    });
    EXPECT_EQ(call("check_patch", "a").error().message(), "Failed to parse response");
    EXPECT_EQ(call("save_patch_status", std::nullopt).error().message(),
              "Failed to parse response");
    EXPECT_EQ(
        remote.call<Empty>("restore_patch_status", {wire::encode_argument(true)}).error().message(),
        "Failed to parse response");
    EXPECT_EQ(call<PatchInfo>("get_patch_info", "a").error().message(), "Failed to parse response");
    EXPECT_EQ(call<PackageInfo>("get_patch_target", "a").error().message(),
              "Failed to parse response");
    EXPECT_EQ(call<PatchList>("get_patch_list", std::nullopt).error().message(),
              "Failed to parse response");
    EXPECT_EQ(call<StateRecords>("get_patch_status", "a").error().message(),
              "Failed to parse response");
    EXPECT_EQ(call<StateRecords>("apply_patch", "a").error().message(), "Failed to parse response");
}

TEST_F(RemoteTest, DoesNotWaitForBytesAfterTheResponse) {
    StubDaemon daemon(socket, {Reply{Reply::Kind::AnswerAndLinger, R"({"result":[],"id":1})",
                                     "\n{\"second\":true}"}});
    auto pending = std::async(std::launch::async,
                              [&] { return call<PatchList>("get_patch_list", std::nullopt); });
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "the client waited for the end of the stream";
    EXPECT_TRUE(pending.get().has_value());
}

TEST_F(RemoteTest, WaitsWithoutLimitForASilentDaemon) {
    auto daemon = std::make_unique<StubDaemon>(socket, std::vector<Reply>{{Reply::Kind::Silent}});
    auto pending = std::async(std::launch::async,
                              [&] { return call<PatchList>("get_patch_list", std::nullopt); });
    EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    daemon.reset();  // closes the connection
    EXPECT_EQ(pending.get().error().message(), connect_failure("Connection timeout"));
}

TEST_F(RemoteTest, LargeListArrivesWhole) {
    std::string records;
    for (int i = 0; i < 20000; ++i) {
        records +=
            fmt::format(R"({{"uuid":"uuid-{}","name":"patch-{}","status":"Accepted"}},)", i, i);
    }
    records.back() = ']';
    StubDaemon daemon(
        socket, [&](const std::string& request) { return Reply::result(request, "[" + records); });
    const auto list = call<PatchList>("get_patch_list", std::nullopt);
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ((*list)->size(), 20000u);
    EXPECT_EQ((*list)->back().name, "patch-19999");
}

}  // namespace
}  // namespace quvane::rpc
