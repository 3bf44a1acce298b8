#include "CorvaneCore/Matching/GlobPattern.hpp"
#include "CorvaneCore/Matching/HostMatcher.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

// Patterns and texts around the prepared pattern's shortcuts: literal ends of
// seven, eight and nine bytes (one word and either side of it), wildcards at
// and next to the ends, texts shorter than a word, lower-casing that changes
// the length (U+0130, KELVIN SIGN), bytes that are not UTF-8, and a "*" in
// the text, which the walk takes as a literal first.
const std::vector<std::string> kPatterns = {
    "",          "*",          "?",           "**",           "a",           "A*",          "*a",
    "abcdefg",   "abcdefgh",   "abcdefghi",   "abcdefgh*",    "*abcdefgh",   "abcdefghi*",  "*bcdefghi",
    "ab?defgh",  "abcdefg?",   "?bcdefgh",    "a*h",          "a*b",         "*a*b",        "a?*",
    "*.Example.ORG", "example.org", "api-?.example.org", "*.example.*", "com.vendor.*", "/usr/bin/*",
    "ÉCOLE.fr",  "*.école.FR", "i̇stanbul",    "İ*",           "\xE2\x84\xAA", "k*",          "é",
    "??",        "\xFF*",      "*\xFF",       "a*\xFF" "b",
};

const std::vector<std::string> kTexts = {
    "",
    "a",
    "A",
    "ab",
    "a*xb",
    "a*b",
    "xaxxb",
    "abcdefg",
    "abcdefgh",
    "ABCDEFGHI",
    "abcdefghij",
    "xabcdefgh",
    "abcdefgabcdefgh",
    "bcdefghi",
    "api.example.org",
    "API-1.Example.Org",
    "example.org",
    "a.b.example.org",
    "example.org.evil",
    "com.vendor.app",
    "com.vendor",
    "/usr/bin/sub/tool",
    "école.fr",
    "WWW.ÉCOLE.fr",
    "İstanbul",
    "istanbul",
    "\xE2\x84\xAA",
    "k",
    "é",
    "\xFF",
    "x\xFF",
    "a\xFF" "b",
};

TEST(GlobPatternTest, MatchesExactlyAsTheMatcherDoes) {
    int matched = 0;
    for (const auto& pattern : kPatterns) {
        const GlobPattern prepared(pattern);
        for (const auto& text : kTexts) {
            SCOPED_TRACE("pattern \"" + pattern + "\", text \"" + text + "\"");
            const bool expected = HostMatcher::matches(pattern, text);
            EXPECT_EQ(prepared.matches(GlobPattern::Text(text)), expected);
            matched += expected ? 1 : 0;
        }
    }
    EXPECT_GT(matched, 100);  // the table has both answers in plenty
}

}  // namespace
}  // namespace corvane
