#include "CorvaneCore/Support/StandardInteger.hpp"

#include <gtest/gtest.h>

#include <cstdint>

namespace corvane {
namespace {

TEST(StandardIntegerTest, SixteenBitUnsigned) {
    struct Case {
        const char* text;
        std::optional<std::uint16_t> value;
    };
    const Case cases[] = {
        {"0", 0},       {"65535", 65535}, {"+22", 22},          {"-0", 0},         {"080", 80},
        {"65536", {}},  {"-1", {}},       {"", {}},             {"+", {}},         {"-", {}},
        {" 1080", {}},  {"1080 ", {}},    {"++1", {}},          {"0x50", {}},      {"80.5", {}},
        {"1_000", {}},  {"99999999999999999999", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(parseStandardInteger<std::uint16_t>(c.text), c.value) << c.text;
}

TEST(StandardIntegerTest, SixtyFourBitSignedLimits) {
    EXPECT_EQ(parseStandardInteger<std::int64_t>("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(parseStandardInteger<std::int64_t>("-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(parseStandardInteger<std::int64_t>("9223372036854775808"));
    EXPECT_FALSE(parseStandardInteger<std::int64_t>("-9223372036854775809"));
    EXPECT_EQ(parseStandardInteger<std::int64_t>("-42"), -42);
}

}  // namespace
}  // namespace corvane
