#include "CorvaneCore/DNS/DNSMessage.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {
namespace {

using DNSMessage::ParseError;
using Kind = DNSMessage::ParseError::Kind;

// Writes DNS wire bytes for tests.
struct Builder {
    std::vector<std::uint8_t> bytes;

    Builder& header(std::uint16_t id, std::uint16_t flags, std::uint16_t questions, std::uint16_t answers) {
        u16(id).u16(flags).u16(questions).u16(answers).u16(0).u16(0);
        return *this;
    }
    Builder& u8(std::uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    Builder& u16(std::uint16_t v) { return u8(static_cast<std::uint8_t>(v >> 8)).u8(static_cast<std::uint8_t>(v)); }
    Builder& u32(std::uint32_t v) { return u16(static_cast<std::uint16_t>(v >> 16)).u16(static_cast<std::uint16_t>(v)); }
    Builder& label(const std::string& text) {
        u8(static_cast<std::uint8_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    // A dotted name ending in the root label.
    Builder& name(const std::string& dotted) {
        std::size_t start = 0;
        while (start < dotted.size()) {
            const std::size_t dot = std::min(dotted.find('.', start), dotted.size());
            label(dotted.substr(start, dot - start));
            start = dot + 1;
        }
        return u8(0);
    }
    Builder& pointer(std::uint16_t target) { return u16(static_cast<std::uint16_t>(0xC000 | target)); }
    // Type, class IN, TTL and data length of a resource record.
    Builder& fixed(std::uint16_t type, std::uint32_t ttl, std::uint16_t length) {
        return u16(type).u16(1).u32(ttl).u16(length);
    }
    std::size_t size() const { return bytes.size(); }
};

// A typical answer: www.example.org is an alias of cdn.example.net, which has
// two IPv4 and one IPv6 address.
Builder typicalResponse() {
    Builder b;
    b.header(0xBEEF, 0x8180, 1, 4).name("www.example.org").u16(DNSMessage::typeA).u16(1);
    b.pointer(12).fixed(DNSMessage::typeCNAME, 300, 17).name("cdn.example.net");
    const std::uint16_t cdn = static_cast<std::uint16_t>(b.size() - 17);
    b.pointer(cdn).fixed(DNSMessage::typeA, 60, 4).u8(192).u8(0).u8(2).u8(1);
    b.pointer(cdn).fixed(DNSMessage::typeA, 60, 4).u8(192).u8(0).u8(2).u8(2);
    b.pointer(cdn).fixed(DNSMessage::typeAAAA, 120, 16).u32(0x20010db8).u32(0).u32(0).u32(1);
    return b;
}

ParseError parseError(const std::vector<std::uint8_t>& bytes) {
    try {
        DNSMessage::parse(bytes);
    } catch (const ParseError& error) {
        return error;
    }
    ADD_FAILURE() << "parse succeeded";
    return ParseError(Kind::truncated, 0xFF);
}

ParseError nameError(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    try {
        DNSMessage::readName(bytes, offset);
    } catch (const ParseError& error) {
        return error;
    }
    ADD_FAILURE() << "readName succeeded";
    return ParseError(Kind::truncated, 0xFF);
}

TEST(DNSMessageTest, ParsesATypicalResponse) {
    const auto parsed = DNSMessage::parse(typicalResponse().bytes);
    EXPECT_EQ(parsed.id, 0xBEEF);
    EXPECT_TRUE(parsed.isResponse);
    ASSERT_EQ(parsed.questions.size(), 1u);
    EXPECT_EQ(parsed.questions[0], (DNSMessage::Question{"www.example.org", 1, 1}));
    ASSERT_EQ(parsed.answers.size(), 4u);
    EXPECT_EQ(parsed.answers[0],
              (DNSMessage::Record{"www.example.org", 5, 300, DNSMessage::Record::Value::name("cdn.example.net")}));
    EXPECT_EQ(parsed.answers[1].name, "cdn.example.net");
    EXPECT_EQ(parsed.answers[1].ttl, 60u);
    EXPECT_EQ(parsed.answers[1].value, DNSMessage::Record::Value::address(IPAddressValue::v4(0xC0000201)));
    EXPECT_EQ(parsed.answers[2].value, DNSMessage::Record::Value::address(IPAddressValue::v4(0xC0000202)));
    ASSERT_TRUE(parsed.answers[3].value.asAddress());
    EXPECT_EQ(parsed.answers[3].value.asAddress()->description(), "2001:db8::1");
    EXPECT_EQ(parsed.answers[3].type, DNSMessage::typeAAAA);
}

TEST(DNSMessageTest, EveryTruncationOfARealAnswerFailsCleanly) {
    const auto full = typicalResponse().bytes;
    for (std::size_t length = 0; length < full.size(); ++length) {
        SCOPED_TRACE(length);
        const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(DNSMessage::isResponse(prefix), length >= 12);
        EXPECT_EQ(parseError(prefix), ParseError(Kind::truncated));
    }
}

TEST(DNSMessageTest, HeaderEdgeCases) {
    const std::vector<std::uint8_t> eleven(11, 0xFF);
    EXPECT_FALSE(DNSMessage::isResponse(eleven));
    EXPECT_EQ(parseError(eleven), ParseError(Kind::truncated));

    const auto empty = DNSMessage::parse(std::vector<std::uint8_t>(12, 0));
    EXPECT_EQ(empty, (DNSMessage::Parsed{0, false, {}, {}}));

    Builder query;
    query.header(7, 0x0100, 1, 0).name("example.org").u16(1).u16(1);
    EXPECT_FALSE(DNSMessage::isResponse(query.bytes));
    EXPECT_FALSE(DNSMessage::parse(query.bytes).isResponse);

    Builder tooMany;
    tooMany.header(1, 0x8180, 0, 13);
    EXPECT_EQ(parseError(tooMany.bytes), ParseError(Kind::countExceedsBuffer));
    Builder tooManyQuestions;
    tooManyQuestions.header(1, 0x8180, 0xFFFF, 0);
    EXPECT_EQ(parseError(tooManyQuestions.bytes), ParseError(Kind::countExceedsBuffer));

    auto aFewMore = typicalResponse();
    aFewMore.bytes[7] = 6;  // two answers more than present
    EXPECT_EQ(parseError(aFewMore.bytes), ParseError(Kind::truncated));
}

TEST(DNSMessageTest, NameErrors) {
    struct Case {
        std::string what;
        Builder message;
        std::size_t offset;
        ParseError error;
    };
    Builder self;
    self.header(0, 0, 0, 0).pointer(12);
    Builder forward;
    forward.header(0, 0, 0, 0).pointer(14).u8(0);
    Builder outside;
    outside.header(0, 0, 0, 0).pointer(0x3FFF);
    Builder justPast;
    justPast.header(0, 0, 0, 0).pointer(14);
    Builder reserved40;
    reserved40.header(0, 0, 0, 0).u8(0x41).u8(0);
    Builder reserved80;
    reserved80.header(0, 0, 0, 0).u8(0x80).u8(0);
    Builder halfPointer;
    halfPointer.header(0, 0, 0, 0).u8(0xC0);
    Builder noTerminator;
    noTerminator.header(0, 0, 0, 0).label("abc");
    Builder longLabel;
    longLabel.header(0, 0, 0, 0).u8(5).u8('a');
    Builder tooLong;
    tooLong.header(0, 0, 0, 0).label(std::string(63, 'a')).label(std::string(63, 'b')).label(std::string(63, 'c'))
        .label(std::string(63, 'd')).u8(0);
    Builder loop;  // a label followed by a pointer back to it
    loop.header(0, 0, 0, 0).label("a").pointer(12);

    const std::vector<Case> cases = {
        {"pointer to itself", self, 12, ParseError(Kind::forwardPointer)},
        {"forward pointer", forward, 12, ParseError(Kind::forwardPointer)},
        {"pointer far out", outside, 12, ParseError(Kind::pointerOutOfBounds)},
        {"pointer to the end", justPast, 12, ParseError(Kind::pointerOutOfBounds)},
        {"length byte 0x41", reserved40, 12, ParseError(Kind::reservedLabelBits, 0x40)},
        {"length byte 0x80", reserved80, 12, ParseError(Kind::reservedLabelBits, 0x80)},
        {"pointer without its second byte", halfPointer, 12, ParseError(Kind::truncated)},
        {"no zero terminator", noTerminator, 12, ParseError(Kind::truncated)},
        {"label past the end", longLabel, 12, ParseError(Kind::truncated)},
        {"labels of 256 bytes", tooLong, 12, ParseError(Kind::nameTooLong)},
        {"label and pointer loop", loop, 12, ParseError(Kind::nameTooLong)},
        {"offset past the end", self, 14, ParseError(Kind::truncated)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(nameError(c.message.bytes, c.offset), c.error);
    }
}

TEST(DNSMessageTest, NamesAreReadExactlyAsReceived) {
    Builder b;
    b.header(0, 0, 0, 0);
    b.label(std::string(63, 'a')).label(std::string(63, 'b')).label(std::string(63, 'c'))
        .label(std::string(62, 'd')).u8(0);  // exactly 255 bytes
    const std::size_t mixed = b.size();
    b.label("MiXeD").label("\xC3\xA9t\xC3\xA9").label("a.b").u8(0);
    const std::size_t invalid = b.size();
    b.label("x\xFFy").label("\xF0\x9F\x98").u8(0);
    const std::size_t root = b.size();
    b.u8(0);
    const std::size_t viaPointer = b.size();
    b.label("www").pointer(static_cast<std::uint16_t>(mixed));

    const auto [longName, afterLong] = DNSMessage::readName(b.bytes, 12);
    EXPECT_EQ(longName.size(), 254u);
    EXPECT_EQ(afterLong, mixed);
    EXPECT_EQ(DNSMessage::readName(b.bytes, mixed).first, "MiXeD.\xC3\xA9t\xC3\xA9.a.b");
    EXPECT_EQ(DNSMessage::readName(b.bytes, invalid).first, "x\uFFFDy.\uFFFD");
    EXPECT_EQ(DNSMessage::readName(b.bytes, root), (std::pair<std::string, std::size_t>{"", root + 1}));
    EXPECT_EQ(DNSMessage::readName(b.bytes, viaPointer),
              (std::pair<std::string, std::size_t>{"www.MiXeD.\xC3\xA9t\xC3\xA9.a.b", viaPointer + 6}));
}

TEST(DNSMessageTest, PointerChainsEndAfterAFixedNumberOfJumps) {
    // A name "a" at 12 and a chain of pointers, each pointing at the one before.
    Builder b;
    b.header(0, 0, 0, 0).name("a");
    std::vector<std::size_t> chain;
    std::uint16_t previous = 12;
    for (int i = 0; i < 200; ++i) {
        chain.push_back(b.size());
        b.pointer(previous);
        previous = static_cast<std::uint16_t>(chain.back());
    }
    EXPECT_EQ(DNSMessage::readName(b.bytes, chain[126]), (std::pair<std::string, std::size_t>{"a", chain[126] + 2}));
    EXPECT_EQ(nameError(b.bytes, chain[127]), ParseError(Kind::nameTooLong));
    EXPECT_EQ(nameError(b.bytes, chain[199]), ParseError(Kind::nameTooLong));
}

TEST(DNSMessageTest, ACraftedDatagramOfPointerChainsParsesQuickly) {
    // The first record's data is a chain of 8000 pointers, each pointing at
    // the one before and the first at the root name at 12; 4000 further
    // records all name the chain's end. Without a jump limit every one of them
    // would walk the whole chain.
    constexpr int kChain = 8000;
    constexpr int kRecords = 4000;
    Builder b;
    b.header(0, 0x8180, 0, kRecords + 1).u8(0).fixed(99, 0, 2 * kChain);
    std::uint16_t previous = 12;
    for (int i = 0; i < kChain; ++i) {
        const auto here = static_cast<std::uint16_t>(b.size());
        b.pointer(previous);
        previous = here;
    }
    for (int i = 0; i < kRecords; ++i) b.pointer(previous).fixed(99, 0, 0);
    ASSERT_LE(b.size(), 65535u);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(parseError(b.bytes), ParseError(Kind::nameTooLong));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}

TEST(DNSMessageTest, AnswerValues) {
    Builder b;
    b.header(1, 0x8180, 1, 4).name("host.example.org").u16(28).u16(1);
    b.pointer(12).fixed(DNSMessage::typeAAAA, 10, 16).u32(0).u32(0).u32(0xFFFF).u32(0xC0000201);
    b.pointer(12).fixed(DNSMessage::typeA, 10, 5).u32(0x01020304).u8(9);
    b.pointer(12).fixed(DNSMessage::typeAAAA, 10, 4).u32(0x01020304);
    b.pointer(12).fixed(16, 10, 3).u8(2).u8('h').u8('i');
    const auto parsed = DNSMessage::parse(b.bytes);
    ASSERT_EQ(parsed.answers.size(), 4u);
    EXPECT_EQ(parsed.answers[0].name, "host.example.org");
    EXPECT_EQ(parsed.answers[0].value, DNSMessage::Record::Value::address(IPAddressValue::v4(0xC0000201)));
    EXPECT_TRUE(parsed.answers[1].value.isOther());
    EXPECT_TRUE(parsed.answers[2].value.isOther());
    EXPECT_TRUE(parsed.answers[3].value.isOther());
    EXPECT_EQ(parsed.answers[3].type, 16);
}

TEST(DNSMessageTest, NextRecordStartsAfterTheDataWhateverTheNameReaderConsumed) {
    // The CNAME data holds a short name followed by padding inside its length.
    Builder b;
    b.header(1, 0x8180, 1, 2).name("a.example").u16(1).u16(1);
    b.pointer(12).fixed(DNSMessage::typeCNAME, 1, 6).pointer(12).u32(0xAAAAAAAA);
    b.pointer(12).fixed(DNSMessage::typeA, 1, 4).u32(0x0A000001);
    const auto parsed = DNSMessage::parse(b.bytes);
    ASSERT_EQ(parsed.answers.size(), 2u);
    EXPECT_EQ(parsed.answers[0].value, DNSMessage::Record::Value::name("a.example"));
    EXPECT_EQ(parsed.answers[1].value, DNSMessage::Record::Value::address(IPAddressValue::v4(0x0A000001)));
}

TEST(DNSMessageTest, AMalformedCNAMEFailsTheWholeMessage) {
    Builder b;
    b.header(1, 0x8180, 1, 2).name("a.example").u16(1).u16(1);
    b.pointer(12).fixed(DNSMessage::typeA, 1, 4).u32(0x0A000001);
    b.pointer(12).fixed(DNSMessage::typeCNAME, 1, 2).u8(0x40).u8(0);
    EXPECT_EQ(parseError(b.bytes), ParseError(Kind::reservedLabelBits, 0x40));
}

TEST(DNSMessageTest, ErrorsDescribeThemselves) {
    EXPECT_STREQ(ParseError(Kind::truncated).what(), "DNS message: truncated");
    EXPECT_STREQ(ParseError(Kind::nameTooLong).what(), "DNS message: name too long");
}

}  // namespace
}  // namespace corvane
