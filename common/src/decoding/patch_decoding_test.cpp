#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/decode_json.h"

namespace quvane {
namespace {

using ::testing::HasSubstr;

constexpr std::string_view package_json =
    R"({"name":"kernel","kind":"SourcePackage","arch":"x86_64","epoch":"0","version":"5.10.0","release":"60.18.0","license":"GPLv2","source_pkg":"kernel-5.10.0-60.18.0.src.rpm"})";

std::string patch_info_json(std::string_view release = "3", std::string_view entities = "[]",
                            std::string_view others = "{}", std::string_view patches = "[]") {
    return fmt::format(
        R"({{"uuid":"u-1","name":"CVE-1","version":"1","release":{},"arch":"x86_64","kind":"KernelPatch","depends":"","target":{},"entities":{},"description":"fix","patches":{},"others":{}}})",
        release, package_json, entities, patches, others);
}

std::string with_release(std::string_view release) {
    return patch_info_json(release);
}

// A list of one PatchStateRecord whose status is the JSON text `status`.
Decoded<Answer<std::vector<PatchStateRecord>>> state_with_status(std::string_view status) {
    return decode_json<std::vector<PatchStateRecord>>(
        fmt::format(R"([{{"name":"p","status":{}}}])", status));
}

TEST(RecordDecoding, UnsignedReleaseAcceptsOnlyPlainIntegersInRange) {
    const struct {
        std::string_view release;
        bool ok;
        std::uint32_t value;
    } cases[] = {
        {"0", true, 0},
        {"4294967295", true, 4294967295u},
        {"4294967296", false, 0},
        {"-1", false, 0},
        {"1.0", false, 0},
        {"1e2", false, 0},
        {"\"1\"", false, 0},
        {"null", false, 0},
        {"18446744073709551615", false, 0},
    };
    for (const auto& c : cases) {
        const auto decoded = decode_json<PatchInfo>(with_release(c.release));
        ASSERT_EQ(decoded.has_value(), c.ok) << c.release;
        if (c.ok) {
            EXPECT_EQ((*decoded)->release, c.value);
        } else {
            EXPECT_THAT(decoded.error().description, HasSubstr("PatchInfo field \"release\""))
                << c.release;
        }
    }
}

TEST(RecordDecoding, EnumerationsFromExactNameOrUnitObject) {
    const struct {
        std::string_view json;
        bool ok;
    } cases[] = {
        {R"("Actived")", true},
        {R"({"Actived":null})", true},
        {R"("actived")", false},
        {R"("Active")", false},
        {"null", false},
        {R"({"Actived":1})", false},
        {R"({"Actived":null,"Accepted":null})", false},
        {R"({})", false},
        {"3", false},
    };
    for (const auto& c : cases) {
        const auto decoded = state_with_status(c.json);
        ASSERT_EQ(decoded.has_value(), c.ok) << c.json;
        if (c.ok) {
            EXPECT_EQ((*decoded)->at(0).status, PatchStatus::Actived);
        }
    }
    EXPECT_THAT(
        state_with_status(R"("Active")").error().description,
        HasSubstr("expected one of `Unknown`, `NotApplied`, `Deactived`, `Actived`, `Accepted`"));
}

TEST(RecordDecoding, FileSystemNameOnlyFromUnixBytes) {
    const auto file = [](std::string_view name) {
        return decode_json<PatchInfo>(patch_info_json(
            "1", "[]", "{}", fmt::format(R"([{{"name":{},"path":"/p","digest":"d"}}])", name)));
    };
    const auto decoded = file(R"({"Unix":[108,105,98,255]})");
    ASSERT_TRUE(decoded.has_value()) << decoded.error().description;
    EXPECT_EQ((*decoded)->patches.at(0).name.bytes, "lib\xFF");
    EXPECT_EQ((*file(R"({"Unix":[]})"))->patches.at(0).name.bytes, "");

    const struct {
        std::string_view json;
        std::string_view message;
    } failures[] = {
        {R"("lib")", "invalid type: string \"lib\", expected enum OsString"},
        {R"({"Windows":[108]})", "cannot deserialize Windows OS string on Unix"},
        {R"({"Mac":[1]})", "unknown variant `Mac`"},
        {R"({"Unix":[256]})", "expected u8"},
        {R"({"Unix":[-1]})", "expected u8"},
        {R"({"Unix":[1.5]})", "expected u8"},
        {R"({"Unix":"lib"})", "expected a sequence of bytes"},
        {R"({"Unix":[1],"Windows":[1]})", "more than one member"},
        {R"({})", "empty map"},
    };
    for (const auto& c : failures) {
        const auto failed = file(c.json);
        ASSERT_FALSE(failed.has_value()) << c.json;
        EXPECT_THAT(failed.error().description, HasSubstr(c.message)) << c.json;
        EXPECT_THAT(failed.error().description, HasSubstr("PatchFile field \"name\"")) << c.json;
    }
}

TEST(RecordDecoding, TextAndPathOnlyFromStrings) {
    EXPECT_THAT(
        decode_json<PackageInfo>(
            std::string(package_json).replace(std::string(package_json).find(R"("0")"), 3, "0"))
            .error()
            .description,
        HasSubstr("PackageInfo field \"epoch\": invalid type: integer `0`, expected a string"));
    const auto entity = [](std::string_view target) {
        return decode_json<PatchInfo>(patch_info_json(
            "1",
            fmt::format(
                R"([{{"uuid":"e","patch_name":{{"Unix":[97]}},"patch_target":{},"checksum":"c"}}])",
                target)));
    };
    ASSERT_TRUE(entity(R"("/usr/lib/libc.so.6")").has_value());
    EXPECT_EQ((*entity(R"("/usr/lib/libc.so.6")"))->entities.at(0).patch_target,
              "/usr/lib/libc.so.6");
    EXPECT_FALSE(entity("1").has_value());
    EXPECT_FALSE(entity("null").has_value());
}

TEST(RecordDecoding, TextMapTakesLaterOfRepeatedKeysAndOnlyStrings) {
    const auto others = [](std::string_view map) {
        return decode_json<PatchInfo>(patch_info_json("1", "[]", map));
    };
    EXPECT_TRUE((*others("{}"))->others.empty());
    EXPECT_EQ((*others(R"({"a":"1","a":"2"})"))->others, (TextMap{{"a", "2"}}));
    EXPECT_EQ((*others(R"({"b":"x","a":"y"})"))->others, (TextMap{{"a", "y"}, {"b", "x"}}));
    EXPECT_FALSE(others(R"({"a":1})").has_value());
    EXPECT_FALSE(others(R"(["a"])").has_value());
}

TEST(RecordDecoding, ObjectAndArrayFormsOfARecordAgree) {
    const PatchListRecord expected{"u-1", "CVE-1", PatchStatus::Accepted};
    const char* same[] = {
        R"([{"uuid":"u-1","name":"CVE-1","status":"Accepted"}])",
        R"([{"status":"Accepted","name":"CVE-1","uuid":"u-1"}])",
        R"([{"status":{"Accepted":null},"extra":[1,{"x":null}],"name":"CVE-1","n":3.5,"uuid":"u-1","s":"t"}])",
        R"([["u-1","CVE-1","Accepted"]])",
    };
    for (const char* json : same) {
        const auto decoded = decode_json<std::vector<PatchListRecord>>(json);
        ASSERT_TRUE(decoded.has_value()) << json << ": " << decoded.error().description;
        EXPECT_EQ((*decoded)->at(0), expected) << json;
    }
}

TEST(RecordDecoding, RecordFailuresNameRecordAndField) {
    const struct {
        std::string_view json;
        std::string_view message;
    } cases[] = {
        {R"([["u-1","CVE-1"]])",
         "invalid length 2, expected struct PatchListRecord with 3 elements"},
        {R"([["u-1","CVE-1","Accepted","x"]])",
         "invalid length 4, expected struct PatchListRecord with 3 elements"},
        {R"([{"uuid":"u","name":"a","name":"b","status":"Accepted"}])",
         "PatchListRecord: duplicate field `name`"},
        {R"([{"uuid":"u","status":"Accepted"}])", "PatchListRecord: missing field `name`"},
        {R"([{}])", "PatchListRecord: missing field `uuid`"},
        {R"([{"uuid":1,"name":"a","status":"Accepted"}])", "PatchListRecord field \"uuid\""},
        {R"([null])", "element 0: invalid type: null, expected struct PatchListRecord"},
        {R"({"uuid":"u","name":"a","status":"Accepted"})", "expected a sequence"},
        {R"(null)", "invalid type: null, expected a sequence"},
        {R"([{"uuid":"u","name":"a","status":"Accepted"},7])", "element 1"},
    };
    for (const auto& c : cases) {
        const auto decoded = decode_json<std::vector<PatchListRecord>>(c.json);
        ASSERT_FALSE(decoded.has_value()) << c.json;
        EXPECT_THAT(decoded.error().description, HasSubstr(c.message)) << c.json;
    }
}

TEST(RecordDecoding, PatchInfoNeedsEveryFieldEvenEmptyLists) {
    ASSERT_TRUE(decode_json<PatchInfo>(patch_info_json()).has_value());
    std::string without_entities = patch_info_json();
    without_entities.erase(without_entities.find(R"("entities":[],)"), 14);
    EXPECT_THAT(decode_json<PatchInfo>(without_entities).error().description,
                HasSubstr("PatchInfo: missing field `entities`"));
    std::string bad_target = patch_info_json();
    bad_target.replace(bad_target.find(R"("SourcePackage")"), 15, R"("Source")");
    EXPECT_THAT(
        decode_json<PatchInfo>(bad_target).error().description,
        HasSubstr(
            "PatchInfo field \"target\": PackageInfo field \"kind\": unknown variant `Source`"));
}

TEST(RecordDecoding, NullDecodesOnlyAsTheEmptyResult) {
    EXPECT_TRUE(decode_json<Empty>("null").has_value());
    EXPECT_FALSE(decode_json<Empty>("true").has_value());
    EXPECT_FALSE(decode_json<Empty>("{}").has_value());
    EXPECT_FALSE(decode_json<PatchInfo>("null").has_value());
    EXPECT_FALSE(decode_json<PackageInfo>("null").has_value());
    EXPECT_FALSE(decode_json<std::vector<PatchListRecord>>("null").has_value());
    EXPECT_FALSE(decode_json<std::vector<PatchStateRecord>>("null").has_value());
}

TEST(RecordDecoding, DeepNestingInAnUnknownMemberFailsCleanly) {
    const std::string deep = std::string(5000, '[') + std::string(5000, ']');
    const auto decoded = decode_json<std::vector<PatchStateRecord>>(
        R"([{"name":"p","status":"Accepted","x":)" + deep + "}]");
    ASSERT_FALSE(decoded.has_value());
    EXPECT_THAT(decoded.error().description, HasSubstr("too deep"));
}

}  // namespace
}  // namespace quvane
