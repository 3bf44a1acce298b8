#include "CorvaneCore/Matching/HostMatcher.hpp"

#include "CorvaneCore/Support/Unicode.hpp"

#include <cstddef>
#include <string>

namespace corvane::HostMatcher {
namespace {

bool isASCII(std::string_view text) {
    unsigned char bits = 0;
    for (char c : text) bits |= static_cast<unsigned char>(c);
    return bits < 0x80;
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Greedy walk with one back-tracking point (the last star): O(pattern * text)
// at worst, never exponential. A pattern "*" meeting a text "*" is taken as a
// literal first, so it does not become the back-tracking point.
template <class Fold>
bool globMatch(std::string_view pattern, std::string_view text, Fold fold) {
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string_view::npos;
    std::size_t starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(text[t]))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starText = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

bool matches(std::string_view pattern, std::string_view text) {
    // ASCII texts lower-case byte by byte without a copy; any other text goes
    // through full Unicode lower-casing (which may change its length).
    if (isASCII(pattern) && isASCII(text)) return globMatch(pattern, text, asciiLower);
    return matchesLowercased(unicode::lowercased(pattern), unicode::lowercased(text));
}

bool matchesLowercased(std::string_view lowerPattern, std::string_view lowerText) {
    return globMatch(lowerPattern, lowerText, [](char c) { return c; });
}

}  // namespace corvane::HostMatcher
