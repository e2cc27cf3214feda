// The JSON writer's values as a reader must take them: each kind in its JSON form, a record
// under its schema's keys, text escaped where a terminal or a parser would act on it.
#include <gtest/gtest.h>

#include "json_text.h"

namespace quvane {
namespace {

template <class T>
std::string written(const T& value) {
    std::string out;
    json::append_value(out, value);
    return out;
}

// A kind the writer does not know is no overload at all: it cannot pass for a number.
template <class T>
constexpr bool writable = requires(std::string& out, T value) {
    json::append_value(out, value);
};
static_assert(!writable<char> && !writable<int> && !writable<std::size_t> && !writable<float>);
static_assert(writable<bool> && writable<double> && writable<std::uint32_t>);

TEST(JsonWriter, EveryKindInItsJsonForm) {
    EXPECT_EQ(written(true), "true");
    EXPECT_EQ(written(false), "false");
    EXPECT_EQ(written(std::uint32_t{4294967295}), "4294967295");
    EXPECT_EQ(written(1796000000.125), "1796000000.125");
    EXPECT_EQ(written(0.1), "0.1");
    EXPECT_EQ(written(1e22), "1e+22");
    // Written whole, it stays a double for the parser.
    EXPECT_TRUE(written(1234567890123456700000.0).ends_with(".0"));
    EXPECT_EQ(written(2.0), "2.0");
    EXPECT_EQ(written(std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ(written(std::optional<std::uint32_t>{}), "null");
    EXPECT_EQ(written(std::optional<std::uint32_t>{7}), "7");
    EXPECT_EQ(written(std::string_view("a\"b\\c\n\x1b\x7f\xff")), R"("a\"b\\c\n\u001b\u007f�")");
    EXPECT_EQ(written(std::vector<PatchStateRecord>{{"P", PatchStatus::NotApplied}}),
              R"([{"name":"P","status":"NOT-APPLIED"}])");
}

}  // namespace
}  // namespace quvane
