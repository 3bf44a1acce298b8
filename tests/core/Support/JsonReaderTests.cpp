#include "CorvaneCore/Support/JsonReader.hpp"

#include <gtest/gtest.h>

namespace corvane::json {
namespace {

TEST(JsonReaderTest, PortRejectsEverySilentConversion) {
    for (const char* text : {R"({"port":65536})", R"({"port":-1})", R"({"port":true})", R"({"port":80.5})",
                             R"({"port":"80"})", R"({"port":1.0})", R"({"port":null})", R"({})"}) {
        EXPECT_THROW(required<std::uint16_t>(parse(text), "port"), JsonDecodeError) << text;
    }
    EXPECT_EQ(required<std::uint16_t>(parse(R"({"port":65535})"), "port"), 65535);
    EXPECT_EQ(required<std::uint16_t>(parse(R"({"port":0})"), "port"), 0);
}

TEST(JsonReaderTest, SixtyFourBitRanges) {
    EXPECT_EQ(required<std::uint64_t>(parse(R"({"n":18446744073709551615})"), "n"), UINT64_MAX);
    EXPECT_THROW(required<std::uint64_t>(parse(R"({"n":-1})"), "n"), JsonDecodeError);
    EXPECT_THROW(required<std::int64_t>(parse(R"({"n":18446744073709551615})"), "n"), JsonDecodeError);
    EXPECT_EQ(required<std::int64_t>(parse(R"({"n":-9223372036854775808})"), "n"), INT64_MIN);
}

TEST(JsonReaderTest, NullCountsAsMissing) {
    const Json object = parse(R"({"a":null,"b":true})");
    EXPECT_EQ(optional<bool>(object, "a"), std::nullopt);
    EXPECT_EQ(optional<bool>(object, "missing"), std::nullopt);
    EXPECT_EQ(optional<bool>(object, "b"), true);
    EXPECT_THROW(required<bool>(object, "a"), JsonDecodeError);
    EXPECT_THROW(optional<std::string>(object, "b"), JsonDecodeError);
}

TEST(JsonReaderTest, NumbersAndIdentifiers) {
    EXPECT_EQ(required<double>(parse(R"({"t":12})"), "t"), 12.0);
    EXPECT_EQ(required<double>(parse(R"({"t":-0.5})"), "t"), -0.5);
    EXPECT_THROW(required<double>(parse(R"({"t":"1"})"), "t"), JsonDecodeError);
    EXPECT_EQ(required<UUID>(parse(R"({"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f"})"), "id").toString(),
              "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_THROW(required<UUID>(parse(R"({"id":"nope"})"), "id"), JsonDecodeError);
}

TEST(JsonReaderTest, ParseAndShapeFailures) {
    EXPECT_THROW(parse(""), JsonDecodeError);
    EXPECT_THROW(parse("{"), JsonDecodeError);
    EXPECT_THROW(parse("\"\xFF\""), JsonDecodeError);
    EXPECT_THROW(required<bool>(parse("[]"), "a"), JsonDecodeError);
    EXPECT_THROW(requireArray(parse("{}"), "list"), JsonDecodeError);
}

std::string nestedArrays(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

std::string nestedObjects(std::size_t depth) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) text += R"({"a":)";
    return text + "1" + std::string(depth, '}');
}

// The message parse throws for the text, or none when it parses.
std::optional<std::string> parseError(const std::string& text) {
    try {
        parse(text);
        return std::nullopt;
    } catch (const JsonDecodeError& e) {
        return e.what();
    }
}

TEST(JsonReaderTest, NestingBeyondTheLimitIsRefusedBeforeParsing) {
    const std::string refusal = "The data is nested more than 64 levels deep.";
    const std::string deepInString = "[\"\\\"" + std::string(1000, '[') + "\"]";  // ["\"[[[…"]
    for (const std::string& text : {nestedArrays(50000), nestedObjects(50000), nestedArrays(kMaxDepth + 1),
                                    "[{\"a\":" + nestedArrays(kMaxDepth - 1) + "}]",
                                    "[\"\\\\\"," + nestedArrays(kMaxDepth) + "]"}) {  // ["\\", [[…]]]
        EXPECT_EQ(parseError(text), refusal) << text.substr(0, 80);
    }
    for (const std::string& text : {nestedArrays(kMaxDepth), nestedObjects(kMaxDepth), deepInString,
                                    "[" + nestedArrays(kMaxDepth - 1) + "," + nestedArrays(kMaxDepth - 1) + "]"}) {
        EXPECT_EQ(parseError(text), std::nullopt) << text.substr(0, 80);
    }
}

TEST(JsonReaderTest, AValueInMemoryIsHeldToTheSameDepth) {
    const auto raw = [](const std::string& text) { return Json::parse(text); };  // nlohmann's, without the limit
    for (const Json& value : {raw(nestedArrays(kMaxDepth)), raw(nestedObjects(kMaxDepth)), Json(1)}) {
        EXPECT_NO_THROW(requireDepthWithinLimit(value));
    }
    for (const Json& value : {raw(nestedArrays(kMaxDepth + 1)), raw(nestedObjects(50000)),
                              raw("[1,{\"a\":" + nestedArrays(kMaxDepth - 1) + "}]")}) {
        EXPECT_THROW(requireDepthWithinLimit(value), JsonDecodeError);
    }
}

}  // namespace
}  // namespace corvane::json
