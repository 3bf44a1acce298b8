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
// the length (U+0130, KELVIN SIGN), bytes that are not UTF-8, several stars,
// and a "*" in the text, which the walk takes as a literal first.
const std::vector<std::string> kPatterns = {
    "",          "*",          "?",           "**",           "a",           "A*",          "*a",
    "abcdefg",   "abcdefgh",   "abcdefghi",   "abcdefgh*",    "*abcdefgh",   "abcdefghi*",  "*bcdefghi",
    "ab?defgh",  "abcdefg?",   "?bcdefgh",    "a*h",          "a*b",         "*a*b",        "a?*",
    "*.Example.ORG", "example.org", "api-?.example.org", "*.example.*", "com.vendor.*", "/usr/bin/*",
    "ÉCOLE.fr",  "*.école.FR", "i̇stanbul",    "İ*",           "\xE2\x84\xAA", "k*",          "é",
    "??",        "\xFF*",      "*\xFF",       "a*\xFF" "b",   "*é*",         "*b?d*fgh*",
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

// Every text of a few letters and stars against every pattern of a few
// letters, stars and question marks: the pieces between stars, their
// search, and the texts with a "*" that the walk takes as a literal.
std::vector<std::string> allTexts(std::string_view alphabet, std::size_t longest) {
    std::vector<std::string> texts = {""};
    for (std::size_t i = 0; i < texts.size(); ++i)
        if (texts[i].size() < longest)
            for (char c : alphabet) texts.push_back(texts[i] + c);
    return texts;
}

TEST(GlobPatternTest, MatchesEveryShortPatternAndTextAsTheMatcherDoes) {
    const auto patterns = allTexts("ab*?", 5);
    const auto texts = allTexts("ab*", 6);
    std::vector<GlobPattern::Text> prepared;
    for (const auto& text : texts) prepared.emplace_back(text);
    int mismatches = 0;
    for (const auto& pattern : patterns) {
        const GlobPattern glob(pattern);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (glob.matches(prepared[i]) == HostMatcher::matches(pattern, texts[i])) continue;
            if (++mismatches <= 10) ADD_FAILURE() << "pattern \"" << pattern << "\", text \"" << texts[i] << "\"";
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace corvane
