#include "patch_service.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/process.h"

namespace quvane::dev {
namespace {

using ::testing::HasSubstr;

std::string request(std::string_view method, std::string_view params) {
    return fmt::format(R"({{"method":"{}","params":{},"id":7,"jsonrpc":"2.0"}})", method, params);
}

class PatchServiceTest : public ::testing::Test {
  protected:
    testing::TemporaryDirectory dir;
    PatchService service{*load_catalogue(QUVANE_SOURCE_DIR "/tools/quvaned-dev/catalogue.json"),
                         dir.path()};

    std::string call(std::string_view method, std::string_view params) {
        return service.handle(request(method, params));
    }
};

TEST_F(PatchServiceTest, FollowsTheLifecycle) {
    const struct {
        std::string_view method;
        std::string_view params;
        std::string_view answer;
    } steps[] = {
        {"check_patch", R"(["CVE-2024-1086"])", R"("result":null)"},
        {"active_patch", R"(["CVE-2024-1086"])", R"(is not applied)"},
        {"apply_patch", R"(["CVE-2024-1086"])",
         R"("result":[{"name":"CVE-2024-1086","status":"Actived"}])"},
        {"check_patch", R"(["CVE-2024-1086"])", R"(is already applied)"},
        {"apply_patch", R"(["3f2a9c1e-7b44-4d0a-9e51-0c6d8a2b7f10"])", R"(is already applied)"},
        {"deactive_patch", R"(["CVE-2024-1086"])", R"("status":"Deactived")"},
        {"accept_patch", R"(["CVE-2024-1086"])", R"(must be active)"},
        {"active_patch", R"(["CVE-2024-1086"])", R"("status":"Actived")"},
        {"accept_patch", R"(["CVE-2024-1086"])", R"("status":"Accepted")"},
        {"get_patch_status", R"(["CVE-2024-1086"])", R"("status":"Accepted")"},
        {"save_patch_status", "[]", R"("result":null)"},
        {"remove_patch", R"(["CVE-2024-1086"])", R"("status":"NotApplied")"},
        {"remove_patch", R"(["CVE-2024-1086"])", R"(is not applied)"},
        {"restore_patch_status", "[true]", R"("result":null)"},
        {"get_patch_status", R"(["CVE-2024-1086"])", R"("status":"Accepted")"},
        {"get_patch_status", R"(["nope"])", R"(Cannot find patch \"nope\")"},
    };
    for (const auto& step : steps) {
        EXPECT_THAT(call(step.method, step.params), HasSubstr(step.answer))
            << step.method << " " << step.params;
    }
}

TEST_F(PatchServiceTest, AnswersWhatQuvaneDecodes) {
    EXPECT_THAT(
        call("get_patch_list", "[]"),
        HasSubstr(
            R"({"uuid":"3f2a9c1e-7b44-4d0a-9e51-0c6d8a2b7f10","name":"CVE-2024-1086","status":"NotApplied"})"));
    EXPECT_THAT(call("get_patch_target", R"(["CVE-2023-4911"])"),
                HasSubstr(R"("result":{"name":"glibc")"));
    EXPECT_THAT(call("get_patch_info", R"(["CVE-2023-4911"])"),
                HasSubstr(R"("name":"CVE-2023-4911")"));
}

TEST_F(PatchServiceTest, MalformedRequestsGetErrorObjects) {
    const struct {
        std::string_view request;
        std::string_view answer;
    } cases[] = {
        {"{", R"({"jsonrpc":"2.0","error":{"code":-32700,"message":"Parse error"},"id":null})"},
        {"[1]", R"("code":-32600,"message":"Invalid Request")"},
        {R"({"method":1,"id":3})", R"("code":-32600,"message":"Invalid Request"},"id":3)"},
        {R"({"method":"x","params":{},"id":3})", R"("code":-32600)"},
        {R"({"method":"reboot","params":[],"id":"a"})",
         R"({"code":-32601,"message":"Method not found"},"id":"a")"},
        {R"({"method":"apply_patch","params":[],"id":1})", R"("code":-32602)"},
        {R"({"method":"apply_patch","params":[1],"id":1})", R"("code":-32602)"},
        {R"({"method":"restore_patch_status","params":["yes"],"id":1})", R"("code":-32602)"},
        {R"({"method":"restore_patch_status","params":[false],"id":1})", "No saved patch status"},
    };
    for (const auto& c : cases) {
        EXPECT_THAT(service.handle(c.request), HasSubstr(c.answer)) << c.request;
    }
}

}  // namespace
}  // namespace quvane::dev
