#include "CorvaneCore/Matching/CIDRBlock.hpp"
#include "CorvaneCore/Matching/IPAddressValue.hpp"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

namespace corvane {
namespace {

using namespace std::string_literals;

struct AddressCase {
    std::string text;
    std::optional<std::string> printed;  // nullopt: not an address
    bool v4 = true;
};

TEST(IPAddressValueTest, ParsesAndPrintsExactlyTheSpecifiedForms) {
    const std::vector<AddressCase> cases = {
        {"192.0.2.1", "192.0.2.1"},
        {"001.002.003.004", "1.2.3.4"},
        {"+1.2.3.4", "1.2.3.4"},
        {"-0.0.0.0", "0.0.0.0"},
        {"010.0.0.255", "10.0.0.255"},
        {"1.2.3", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"1..2.3", std::nullopt},
        {"1.2.3.", std::nullopt},
        {"256.1.1.1", std::nullopt},
        {"1.2.3.0010", std::nullopt},
        {"-1.2.3.4", std::nullopt},
        {"+.1.2.3", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"1.2.3.4 ", std::nullopt},
        {"", std::nullopt},
        {"::ffff:192.0.2.1", "192.0.2.1"},
        {"::192.0.2.1", "192.0.2.1"},
        {"::2", "0.0.0.2"},
        {"::1", "::1", false},
        {"::", "::", false},
        {"2001:DB8::1", "2001:db8::1", false},
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1", false},
        {"::ffff:0:1", "0.0.0.1"},
        {"::1:0:0:1", "::1:0:0:1", false},
        {"64:ff9b::192.0.2.1", "64:ff9b::c000:201", false},
        {"fe80::1%en0", std::nullopt},
        {"fe80::1%lo", std::nullopt},
        {"[::1]", std::nullopt},
        {" ::1", std::nullopt},
        {"::1\0x"s, std::nullopt},
        {"1.2.3.4\0"s, std::nullopt},
        {"2001:db8::1:443:", std::nullopt},
        {std::string(100, '1'), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto address = IPAddressValue::fromString(c.text);
        ASSERT_EQ(address.has_value(), c.printed.has_value());
        if (!address) continue;
        EXPECT_EQ(address->description(), *c.printed);
        EXPECT_EQ(address->isV4(), c.v4);
    }
}

TEST(IPAddressValueTest, BytesAreMostSignificantFirst) {
    EXPECT_EQ(IPAddressValue::v4(0xC0000201).bytes(), (std::vector<std::uint8_t>{192, 0, 2, 1}));
    const auto v6 = IPAddressValue::fromString("2001:db8::ff");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->bytes(), (std::vector<std::uint8_t>{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff}));
}

TEST(IPAddressValueTest, UnmappingFoldsOnlyMappedAndCompatibleForms) {
    IPAddressValue::V6Bytes bytes{};
    bytes[15] = 1;
    EXPECT_FALSE(IPAddressValue::unmappingIPv4(bytes));  // ::1
    bytes[15] = 0;
    EXPECT_FALSE(IPAddressValue::unmappingIPv4(bytes));  // ::
    bytes[10] = bytes[11] = 0xFF;
    EXPECT_EQ(IPAddressValue::unmappingIPv4(bytes), IPAddressValue::v4(0));  // ::ffff:0.0.0.0
    bytes[10] = 0xFE;
    EXPECT_FALSE(IPAddressValue::unmappingIPv4(bytes));
    bytes[10] = 0xFF;
    bytes[0] = 0x20;
    EXPECT_FALSE(IPAddressValue::unmappingIPv4(bytes));
    const std::uint8_t four[4] = {1, 2, 3, 4};
    EXPECT_FALSE(IPAddressValue::unmappingIPv4(four));
}

TEST(IPAddressValueTest, EqualityAndHashingSeparateTheFamilies) {
    IPAddressValue::V6Bytes bytes{};
    bytes[12] = 192;
    bytes[15] = 1;
    const auto v4 = IPAddressValue::v4(0xC0000001);
    const auto v6 = IPAddressValue::v6(bytes);
    EXPECT_NE(v4, v6);
    EXPECT_EQ(*IPAddressValue::fromString("::192.0.0.1"), v4);
    std::unordered_set<IPAddressValue> set{v4, v6, IPAddressValue::v4(0xC0000001)};
    EXPECT_EQ(set.size(), 2u);
}

struct CIDRCase {
    std::string text;
    bool parses;
    int prefixLength = 0;
};

TEST(CIDRBlockTest, ParsesPrefixesWithinTheFamilyWidth) {
    const std::vector<CIDRCase> cases = {
        {"10.0.0.0/8", true, 8},
        {"10.0.0.0/0", true, 0},
        {"10.0.0.0/32", true, 32},
        {"10.0.0.0/+8", true, 8},
        {"192.0.2.1", true, 32},
        {"2001:db8::/32", true, 32},
        {"2001:db8::/128", true, 128},
        {"::1", true, 128},
        {"::ffff:10.0.0.0/8", true, 8},
        {"10.0.0.0/33", false},
        {"10.0.0.0/-1", false},
        {"10.0.0.0/", false},
        {"10.0.0.0/8/1", false},
        {"/8", false},
        {"2001:db8::/129", false},
        {"::ffff:10.0.0.0/104", false},
        {"10.0.0.0/ 8", false},
        {"10.0.0.0/8 ", false},
        {"example.org/8", false},
        {"*.example.org", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto block = CIDRBlock::fromString(c.text);
        ASSERT_EQ(block.has_value(), c.parses);
        if (block) {
            EXPECT_EQ(block->prefixLength, c.prefixLength);
        }
    }
    EXPECT_EQ(CIDRBlock::fromString("::ffff:10.0.0.0/8"), CIDRBlock::fromString("10.0.0.0/8"));
    EXPECT_NE(CIDRBlock::fromString("10.1.2.3/8"), CIDRBlock::fromString("10.0.0.0/8"));
}

struct ContainsCase {
    std::string network;
    std::string address;
    bool contained;
};

TEST(CIDRBlockTest, ContainmentAtTheBoundaries) {
    const std::vector<ContainsCase> cases = {
        {"10.0.0.0/8", "10.255.0.1", true},
        {"10.0.0.0/8", "10.0.0.0", true},
        {"10.0.0.0/8", "11.0.0.1", false},
        {"10.0.0.0/8", "9.255.255.255", false},
        {"10.1.2.3/8", "10.200.0.0", true},
        {"10.0.0.0/0", "255.255.255.255", true},
        {"10.0.0.0/0", "0.0.0.0", true},
        {"10.0.0.0/0", "2001:db8::1", false},
        {"192.0.2.1", "192.0.2.1", true},
        {"192.0.2.1", "192.0.2.2", false},
        {"192.0.2.1", "192.0.2.0", false},
        {"192.168.0.0/23", "192.168.1.200", true},
        {"192.168.0.0/23", "192.168.2.1", false},
        {"192.168.0.0/31", "192.168.0.1", true},
        {"192.168.0.0/31", "192.168.0.2", false},
        {"128.0.0.0/1", "255.0.0.1", true},
        {"128.0.0.0/1", "127.255.255.255", false},
        {"2001:db8::/32", "2001:db8:ffff::1", true},
        {"2001:db8::/32", "2001:db9::", false},
        {"2001:db8::/33", "2001:db8:8000::", false},
        {"2001:db8::/33", "2001:db8:7fff::", true},
        {"::/0", "::1", true},
        {"::/0", "10.0.0.1", false},
        {"::1", "::1", true},
        {"2001:db8::1/128", "2001:db8::2", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.network + " " + c.address);
        const auto block = CIDRBlock::fromString(c.network);
        const auto address = IPAddressValue::fromString(c.address);
        ASSERT_TRUE(block && address);
        EXPECT_EQ(block->contains(*address), c.contained);
    }
}

TEST(CIDRBlockTest, APrefixBuiltOutsideTheFamilyWidthIsHeldToIt) {
    const auto base = *IPAddressValue::fromString("10.0.0.1");
    EXPECT_TRUE((CIDRBlock{base, 40}.contains(base)));
    EXPECT_FALSE((CIDRBlock{base, 40}.contains(*IPAddressValue::fromString("10.0.0.2"))));
    EXPECT_TRUE((CIDRBlock{base, -3}.contains(*IPAddressValue::fromString("192.0.2.1"))));
}

TEST(CIDRBlockTest, AnUnfoldedMappedAddressNeverMeetsAnIPv4Network) {
    IPAddressValue::V6Bytes mapped{};
    mapped[10] = mapped[11] = 0xFF;
    mapped[12] = 10;
    const auto block = CIDRBlock::fromString("10.0.0.0/8");
    EXPECT_FALSE(block->contains(IPAddressValue::v6(mapped)));
    EXPECT_TRUE(block->contains(*IPAddressValue::unmappingIPv4(mapped)));
}

}  // namespace
}  // namespace corvane
