#include "CorvaneCore/Support/Unicode.hpp"

#include <gtest/gtest.h>

namespace corvane::unicode {
namespace {

TEST(UnicodeTest, ReplacesEachMaximalIllFormedSubpart) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"a\xFF" "b", "a" + fffd + "b"},
        {"\xF0\x9F\x98", fffd},
        {"\xE2\x82", fffd},
        {"\xE2\x82" "A", fffd + "A"},
        {"\xC0\xAF", fffd + fffd},
        {"\xED\xA0\x80", fffd + fffd + fffd},
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replacingInvalidUTF8(c.bytes), c.text);
        EXPECT_EQ(isValidUTF8(c.bytes), c.bytes == c.text);
    }
}

TEST(UnicodeTest, TrimsSpacesAndTabsButNotLineBreaks) {
    EXPECT_EQ(trimmed(" \t\u00A0443\u3000 "), "443");
    EXPECT_EQ(trimmed("\u2000a b\u205F"), "a b");
    EXPECT_EQ(trimmed("   "), "");
    EXPECT_EQ(trimmed("\n443\n"), "\n443\n");
    EXPECT_EQ(trimmed(""), "");
}

TEST(UnicodeTest, LowerCasesPerCodePoint) {
    EXPECT_EQ(lowercased("WWW.Example.COM"), "www.example.com");
    EXPECT_EQ(lowercased("\u00C9COLE"), "\u00E9cole");
    EXPECT_EQ(lowercased("\u0130"), "i\u0307");
    EXPECT_EQ(lowercased("\u03A3\u03A3"), "\u03C3\u03C3");  // no final-sigma rule
    EXPECT_EQ(lowercased("A\xFF" "B"), "a\xFF" "b");          // bytes that are not text stay
}

TEST(UnicodeTest, CharacterClasses) {
    EXPECT_TRUE(isNewlineScalar(U'\n'));
    EXPECT_TRUE(isNewlineScalar(0x2028));
    EXPECT_FALSE(isNewlineScalar(U'\t'));
    EXPECT_TRUE(isAlphanumeric(U'A'));
    EXPECT_TRUE(isAlphanumeric(0x0301));  // combining mark
    EXPECT_TRUE(isAlphanumeric(0x2163));  // Roman numeral four (Nl)
    EXPECT_FALSE(isAlphanumeric(U'-'));
}

}  // namespace
}  // namespace corvane::unicode
