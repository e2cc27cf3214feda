#include "rpc/value_reader.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "patch_records.h"
#include "rpc/answer_decoding.h"
#include "support/memory_source.h"

namespace quvane::rpc {
namespace {

using testing::MemorySource;

// The bytes in chunks of at most `chunk` bytes.
MemorySource chunked(std::string bytes, std::size_t chunk = 1 << 20) {
    return MemorySource(std::move(bytes), {chunk});
}

TEST(ValueReader, ReadsExactlyOneValueWhateverTheChunking) {
    const struct {
        std::string stream;
        std::string value;
    } cases[] = {
        {R"({"id":1}{"id":2})", R"({"id":1})"},
        {" \n\t{\"a\":[1,{\"b\":\"}]\\\"\"}]}\n", "{\"a\":[1,{\"b\":\"}]\\\"\"}]}"},
        {R"(["x\\"] tail)", R"(["x\\"])"},
        {R"("str\"ing"x)", R"("str\"ing")"},
        {"123 456", "123"},
        {"123", "123"},
        {"true,", "true"},
        {"null]", "null"},
        {"-1.5e3{", "-1.5e3"},
    };
    for (const auto& c : cases) {
        for (const std::size_t chunk :
             {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{1} << 20}) {
            MemorySource source = chunked(c.stream, chunk);
            const auto value = read_one_value(source);
            ASSERT_TRUE(value.has_value()) << c.stream;
            EXPECT_EQ(value->json(), c.value) << c.stream << " in chunks of " << chunk;
            EXPECT_EQ(source.rest(), c.stream.substr(c.stream.find(c.value) + c.value.size()))
                << c.stream;
        }
    }
}

TEST(ValueReader, EscapesAnywhereInABlockOfBytes) {
    // An escaped quotation mark or reverse solidus at every offset, so that each falls on every
    // position of the scanner's blocks, including the last byte of one and the first of the next.
    // Brackets inside strings, with or without escapes, fall on every position of the 64-byte
    // blocks too, and a string may run across a block's end. Nested deep enough, and with a
    // block's worth of text after the escape, that the blocks after the first are counted whole
    // rather than a byte at a time, escapes carried across their ends included.
    for (std::size_t offset = 0; offset < 140; ++offset) {
        for (const char* escape : {R"(\")", R"(\\)", R"(\\\")", R"(\n)", "", "}]{["}) {
            const std::string value = std::string(16, '[') + R"({"k":[")" +
                                      std::string(offset, 'x') + escape + std::string(70, 'y') +
                                      R"(]"],"b":[{"c":"}{]["},[]]})" + std::string(16, ']');
            for (const std::size_t chunk :
                 {std::size_t{7}, std::size_t{16}, std::size_t{1} << 20}) {
                MemorySource source = chunked(value + R"({"next":1})", chunk);
                const auto read = read_one_value(source);
                ASSERT_TRUE(read.has_value()) << value;
                EXPECT_EQ(read->json(), value) << value << " in chunks of " << chunk;
            }
        }
    }
}

TEST(ValueReader, EndOfStreamBeforeOrInsideTheValue) {
    const struct {
        std::string stream;
        bool timeout;
    } cases[] = {
        {"", true},          {" \n\r\t ", true}, {R"({"id":1)", false}, {R"({"id":"1})", false},
        {R"("open)", false}, {"[[[]]", false},
    };
    for (const auto& c : cases) {
        MemorySource source = chunked(c.stream, 2);
        const auto value = read_one_value(source);
        ASSERT_FALSE(value.has_value()) << c.stream;
        if (c.timeout) {
            ASSERT_TRUE(std::holds_alternative<TransportFailure>(value.error()));
            EXPECT_EQ(std::get<TransportFailure>(value.error()).kind,
                      TransportFailure::Kind::Timeout);
        } else {
            EXPECT_TRUE(std::holds_alternative<JsonFailure>(value.error())) << c.stream;
        }
    }
}

TEST(ValueReader, AnswersThatCanStillBeValidWaitForMore) {
    for (const std::string stream : {R"({"id":1,"res)", "[1,", R"({"a")", "[-", R"(["\u12)",
                                     "[1.5e", R"({"a":tr)", "[[[[", "12"}) {
        MemorySource source(stream, {}, MemorySource::AtEnd::WaitsForever);
        const auto value = read_one_value(source);
        ASSERT_FALSE(value.has_value()) << stream;
        EXPECT_THAT(std::get<JsonFailure>(value.error()).detail,
                    ::testing::StartsWith("failed to read the response"))
            << stream;
    }
}

TEST(ValueReader, DecidesWithoutWaitingForMoreBytes) {
    const struct {
        std::string stream;
        std::string value;  // empty: the bytes cannot be JSON
    } cases[] = {
        {"null", "null"},
        {"  true", "true"},
        {"false", "false"},
        {"12,", "12"},
        {"xyz", ""},
        {"nul!", ""},
        {"tru e", ""},
        {"12x", ""},
        {"}", ""},
        {R"({"id":1,"result":[})", ""},
        {R"([{"a":"]"}])", R"([{"a":"]"}])"},
        {std::string(2000, '['), ""},
        // Nesting as deep as the parser goes, and one level deeper, sent at once.
        {std::string(1024, '[') + std::string(1024, ']'),
         std::string(1024, '[') + std::string(1024, ']')},
        {std::string(1025, '[') + std::string(1025, ']'), ""},
        // Wrong at the byte shown, whatever could follow.
        {R"({"id" 1)", ""},
        {R"({"id":1 "result")", ""},
        {"[1 2", ""},
        {"[,", ""},
        {"{1:2", ""},
        {R"({"a":1,,)", ""},
        {"[01", ""},
        {R"(["\x")", ""},
        {"[truex", ""},
        {"{:", ""},
        {R"({"a",)", ""},
        {"[\"a\x01", ""},
        // A value whose brackets close is framed by them; the parser refuses it.
        {"[1.]", "[1.]"},
        {"[-x", ""},
        // Bytes that can never be UTF-8 in a string (RFC 8259 section 8.1).
        {"[\"\xff", ""},
        {"[\"a\x80", ""},
        {"[\"\xc0\xaf", ""},
        {"[\"\xed\xa0\x80", ""},
        {"[\"\xd0\\\\\x9a", ""},
        // Half of a UTF-16 surrogate pair, escaped: the parser refuses it too.
        {R"(["\uDC00)", ""},
        {R"(["\uD800x)", ""},
        {R"(["\uD800\u0041)", ""},
    };
    for (const auto& c : cases) {
        MemorySource source(c.stream, {}, MemorySource::AtEnd::WaitsForever);
        const auto value = read_one_value(source);
        if (c.value.empty()) {
            ASSERT_FALSE(value.has_value()) << c.stream;
            ASSERT_TRUE(std::holds_alternative<JsonFailure>(value.error())) << c.stream;
            EXPECT_THAT(std::get<JsonFailure>(value.error()).detail,
                        ::testing::StartsWith("invalid JSON: "))
                << c.stream;
        } else {
            ASSERT_TRUE(value.has_value()) << c.stream;
            EXPECT_EQ(value->json(), c.value);
        }
    }
}

TEST(ValueReader, BlanksBeforeTheValueAreNotHeld) {
    MemorySource source = chunked(std::string(std::size_t{64} << 20, ' ') + "{}", 256 * 1024);
    const auto value = read_one_value(source);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->json(), "{}");
    EXPECT_LT(value->padded_size(), std::size_t{1} << 20);
}

TEST(ValueReader, LargeValueTakesFewReads) {
    std::string big = R"({"id":1,"result":[)";
    for (int i = 0; i < 100000; ++i) {
        big +=
            R"({"uuid":"0f9a2c44-5d1e-4a6b-9c3d-7e8f90a1b2c3","name":"patch","status":"Actived"},)";
    }
    big.back() = ']';
    big += "}";
    MemorySource source = chunked(big + "\n", 256 * 1024);
    const auto value = read_one_value(source);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->json().size(), big.size());
    const double kib = static_cast<double>(big.size()) / 1024;
    EXPECT_LE(static_cast<double>(source.calls()) / kib, 0.02)
        << source.calls() << " calls for " << kib << " KiB";
}

// Every accepted file must read and decode as a complete response, every rejected one must
// fail; the file is the "id" member of a response, so its end is found by the reader itself
// and the decoder visits it whole.
TEST(ValueReader, PublicJsonTestSuite) {
    const std::filesystem::path dir = JSON_TEST_SUITE_DIR;
    if (!std::filesystem::is_directory(dir)) {
        GTEST_SKIP() << "JSON test suite not found at " << dir;
    }
    std::size_t checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.size() < 2 || (name[0] != 'y' && name[0] != 'n') || name[1] != '_') {
            continue;
        }
        std::ifstream file(entry.path(), std::ios::binary);
        std::stringstream content;
        content << file.rdbuf();
        MemorySource source(R"({"jsonrpc":"2.0","result":null,"id":)" + content.str() + "}");
        auto value = read_one_value(source);
        bool accepted = false;
        if (value && source.rest().find_first_not_of(" \t\r\n") == std::string_view::npos) {
            accepted = decode_answer<Empty>(std::move(*value)).has_value();
        }
        EXPECT_EQ(accepted, name[0] == 'y') << name;
        ++checked;
    }
    EXPECT_GT(checked, 250u);
}

}  // namespace
}  // namespace quvane::rpc

namespace quvane::rpc {
namespace {

TEST(ValueReader, AnAnswerPastTheLimitFailsHoldingNoMoreThanTheLimit) {
    constexpr std::size_t limit = std::size_t{1} << 20;
    const std::string endless = "[\"" + std::string(3 * limit, 'a');
    testing::MemorySource source(endless, {64 * 1024});
    const auto value = read_one_value(source, limit);
    ASSERT_FALSE(value.has_value());
    const auto* failure = std::get_if<JsonFailure>(&value.error());
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(failure->cause, "The answer is longer than 1 MiB, the most a call reads");
    EXPECT_EQ(source.position(), limit);

    const std::string fits = "[\"" + std::string(limit - 4, 'a') + "\"]";
    testing::MemorySource whole(fits + "garbage");
    const auto read = read_one_value(whole, limit);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->json(), fits);
}

}  // namespace
}  // namespace quvane::rpc
