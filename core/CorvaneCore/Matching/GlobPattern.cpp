#include "CorvaneCore/Matching/GlobPattern.hpp"

#include "CorvaneCore/Matching/HostMatcher.hpp"
#include "CorvaneCore/Support/Unicode.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace corvane {
namespace {

using Word = GlobPattern::Word;
constexpr std::size_t wordSize = sizeof(Word);

// `bytes` (at most a word's worth) placed at the start or the end of a zeroed
// word, in memory order.
Word packed(std::string_view bytes, bool atEnd) {
    std::array<unsigned char, wordSize> buffer{};
    const std::size_t offset = atEnd ? wordSize - bytes.size() : 0;
    std::copy(bytes.begin(), bytes.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
    Word word;
    std::memcpy(&word, buffer.data(), wordSize);
    return word;
}

Word headOf(std::string_view text) { return packed(text.substr(0, std::min(text.size(), wordSize)), false); }

Word tailOf(std::string_view text) {
    return packed(text.substr(text.size() - std::min(text.size(), wordSize)), true);
}

}  // namespace

GlobPattern::Text::Text(std::string_view text) : lower(unicode::lowercased(text)), head(headOf(lower)), tail(tailOf(lower)) {}

GlobPattern::GlobPattern(std::string_view pattern) : lower_(unicode::lowercased(pattern)) {
    const std::string_view text = lower_;
    const std::size_t first = text.find_first_of("*?");
    const bool hasWildcard = first != std::string_view::npos;
    literalPrefix_ = hasWildcard ? first : text.size();
    literalSuffix_ = hasWildcard ? text.size() - text.find_last_of("*?") - 1 : text.size();
    hasStar_ = text.find('*') != std::string_view::npos;
    minimumLength_ = text.size() - static_cast<std::size_t>(std::count(text.begin(), text.end(), '*'));

    const std::string_view prefix = text.substr(0, std::min(literalPrefix_, wordSize));
    const std::string_view suffix = text.substr(text.size() - std::min(literalSuffix_, wordSize));
    head_ = headOf(prefix);
    headMask_ = packed(std::string(prefix.size(), '\xFF'), false);
    tail_ = tailOf(suffix);
    tailMask_ = packed(std::string(suffix.size(), '\xFF'), true);
}

bool GlobPattern::matchesBeyondEnds(std::string_view lowerText) const {
    const std::string_view pattern = lower_;
    if (literalPrefix_ == pattern.size()) return lowerText == pattern;
    if (!lowerText.starts_with(pattern.substr(0, literalPrefix_))) return false;
    if (!lowerText.ends_with(pattern.substr(pattern.size() - literalSuffix_))) return false;
    return HostMatcher::matchesLowercased(pattern, lowerText);
}

}  // namespace corvane
