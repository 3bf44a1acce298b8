#include "CorvaneCore/Models/CodeIdentity.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

namespace corvane {
namespace {

TEST(CodeIdentityTest, DisplayTextInOrderOfPrecedence) {
    struct Case {
        CodeIdentity identity;
        const char* text;
    };
    const Case cases[] = {
        {{.isValid = false, .teamIdentifier = std::nullopt, .isPlatformBinary = true}, "System binary"},
        {{.isValid = true, .teamIdentifier = "ABCDE12345", .isPlatformBinary = true}, "System binary"},
        {{.isValid = false, .teamIdentifier = "ABCDE12345", .isPlatformBinary = false}, "Signature not verified"},
        {CodeIdentity::unverified, "Signature not verified"},
        {{.isValid = true, .teamIdentifier = std::nullopt, .isPlatformBinary = false}, "Signed, no team (ad-hoc)"},
        {{.isValid = true, .teamIdentifier = "ABCDE12345", .isPlatformBinary = false},
         "Signed by team ABCDE12345"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.identity.displayText(), c.text);
}

TEST(CodeIdentityTest, UnverifiedAndTeamPattern) {
    EXPECT_FALSE(CodeIdentity::unverified.isValid);
    EXPECT_FALSE(CodeIdentity::unverified.teamIdentifier.has_value());
    EXPECT_FALSE(CodeIdentity::unverified.isPlatformBinary);
    EXPECT_EQ(CodeIdentity::teamPrefix, "team:");
    EXPECT_EQ(CodeIdentity::teamPattern("ABCDE12345"), "team:ABCDE12345");
}

TEST(CodeIdentityTest, JsonRoundTripAndOptionalTeam) {
    const CodeIdentity signedBy{.isValid = true, .teamIdentifier = "T1", .isPlatformBinary = false};
    EXPECT_EQ(toJson(signedBy).dump(), R"({"isPlatformBinary":false,"isValid":true,"teamIdentifier":"T1"})");
    EXPECT_EQ(CodeIdentity::fromJson(toJson(signedBy)), signedBy);
    EXPECT_EQ(toJson(CodeIdentity::unverified).dump(), R"({"isPlatformBinary":false,"isValid":false})");
    EXPECT_EQ(CodeIdentity::fromJson(json::parse(R"({"isValid":true,"teamIdentifier":null,"isPlatformBinary":true})")),
              (CodeIdentity{.isValid = true, .teamIdentifier = std::nullopt, .isPlatformBinary = true}));
    for (const char* text : {R"({"isValid":true})", R"({"isPlatformBinary":true})",
                             R"({"isValid":1,"isPlatformBinary":false})",
                             R"({"isValid":true,"isPlatformBinary":false,"teamIdentifier":5})", "[]"}) {
        EXPECT_THROW(CodeIdentity::fromJson(json::parse(text)), JsonDecodeError) << text;
    }
}

TEST(CodeIdentityTest, EqualityAndHashCoverEveryField) {
    const std::unordered_set<CodeIdentity> set{
        CodeIdentity::unverified,
        {.isValid = true, .teamIdentifier = std::nullopt, .isPlatformBinary = false},
        {.isValid = true, .teamIdentifier = "T", .isPlatformBinary = false},
        {.isValid = true, .teamIdentifier = "U", .isPlatformBinary = false},
        {.isValid = true, .teamIdentifier = "T", .isPlatformBinary = true},
        {.isValid = true, .teamIdentifier = "T", .isPlatformBinary = true},
    };
    EXPECT_EQ(set.size(), 5u);
    EXPECT_TRUE(set.contains(CodeIdentity{.isValid = true, .teamIdentifier = "U", .isPlatformBinary = false}));
}

}  // namespace
}  // namespace corvane
