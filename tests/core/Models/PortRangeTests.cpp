#include "CorvaneCore/Models/PortRange.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

namespace corvane {
namespace {

TEST(PortRangeTest, ParsingEntries) {
    struct Case {
        const char* text;
        std::optional<std::pair<int, int>> range;
    };
    const std::pair<int, int> p443{443, 443};
    const Case cases[] = {
        {"443", p443},
        {"+22", std::pair{22, 22}},
        {"8000-8080", std::pair{8000, 8080}},
        {"8080 - 8000", std::pair{8000, 8080}},
        {"-80", std::pair{80, 80}},
        {"80-", std::pair{80, 80}},
        {"80--90", std::pair{80, 90}},
        {"0", std::pair{0, 0}},
        {"65535", std::pair{65535, 65535}},
        {"0-65535", std::pair{0, 65535}},
        {"\u00A0443\t", p443},
        {"\u3000443\u2009", p443},
        {"1-2-3", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"-", std::nullopt},
        {"--", std::nullopt},
        {"80- ", std::nullopt},
        {"65536", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"4 43", std::nullopt},
        {"0x50", std::nullopt},
        {"80.5", std::nullopt},
        {"443\n", std::nullopt},
        {"++443", std::nullopt},
        {"+", std::nullopt},
        {"443a", std::nullopt},
        {"\xD9\xA3", std::nullopt},  // ARABIC-INDIC DIGIT THREE is no ASCII digit
    };
    for (const Case& c : cases) {
        const auto range = PortRange::parsing(c.text);
        ASSERT_EQ(range.has_value(), c.range.has_value()) << '"' << c.text << '"';
        if (!range) continue;
        EXPECT_EQ(range->lowerBound, c.range->first) << c.text;
        EXPECT_EQ(range->upperBound, c.range->second) << c.text;
    }
}

TEST(PortRangeTest, DisplayText) {
    EXPECT_EQ(PortRange(443).displayText(), "443");
    EXPECT_EQ(PortRange(8080, 8000).displayText(), "8000-8080");
    EXPECT_EQ(PortRange::parsing("8080 - 8000")->displayText(), "8000-8080");
    EXPECT_EQ(PortRange(0, 65535).displayText(), "0-65535");
}

TEST(PortRangeTest, ContainsIsInclusive) {
    const PortRange range(8000, 8080);
    EXPECT_FALSE(range.contains(7999));
    EXPECT_TRUE(range.contains(8000));
    EXPECT_TRUE(range.contains(8080));
    EXPECT_FALSE(range.contains(8081));
    EXPECT_TRUE(PortRange(0, 65535).contains(65535));
}

TEST(PortRangeTest, BuiltInCodeOrdersBoundsButJsonKeepsThem) {
    const PortRange built(90, 80);
    EXPECT_EQ(built.lowerBound, 80);
    EXPECT_EQ(built.upperBound, 90);

    const PortRange read = PortRange::fromJson(json::parse(R"({"lowerBound":90,"upperBound":80})"));
    EXPECT_EQ(read.lowerBound, 90);
    EXPECT_EQ(read.upperBound, 80);
    for (int port : {79, 80, 85, 90, 91}) EXPECT_FALSE(read.contains(static_cast<std::uint16_t>(port))) << port;
    EXPECT_EQ(toJson(read).dump(), R"({"lowerBound":90,"upperBound":80})");
}

TEST(PortRangeTest, JsonRejectsWhatIsNoPort) {
    for (const char* text : {R"({"lowerBound":65536,"upperBound":1})", R"({"lowerBound":-1,"upperBound":1})",
                             R"({"lowerBound":true,"upperBound":1})", R"({"lowerBound":80.5,"upperBound":81})",
                             R"({"lowerBound":"80","upperBound":81})",
                             R"({"lowerBound":80})", R"({"upperBound":80})", R"({"lowerBound":null,"upperBound":80})",
                             R"([80,81])"}) {
        EXPECT_THROW(PortRange::fromJson(json::parse(text)), JsonDecodeError) << text;
    }
    EXPECT_EQ(PortRange::fromJson(json::parse(R"({"lowerBound":0,"upperBound":65535,"extra":1})")),
              PortRange(0, 65535));
}

TEST(PortRangeTest, HashFollowsEquality) {
    const std::unordered_set<PortRange> set{PortRange(80), PortRange(80, 80), PortRange(80, 81), PortRange(81, 80)};
    EXPECT_EQ(set.size(), 2u);
}

}  // namespace
}  // namespace corvane
