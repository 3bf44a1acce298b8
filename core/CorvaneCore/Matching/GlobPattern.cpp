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

GlobPattern::Text::Text(std::string_view text)
    : lower(unicode::lowercased(text)),
      head(headOf(lower)),
      tail(tailOf(lower)),
      hasStar(lower.find('*') != std::string::npos) {}

GlobPattern::GlobPattern(std::string_view pattern) : lower_(unicode::lowercased(pattern)) {
    const std::string_view text = lower_;
    const std::size_t first = text.find_first_of("*?");
    const bool hasWildcard = first != std::string_view::npos;
    const std::size_t literalPrefix = hasWildcard ? first : text.size();
    const std::size_t literalSuffix = hasWildcard ? text.size() - text.find_last_of("*?") - 1 : text.size();
    hasStar_ = text.find('*') != std::string_view::npos;
    minimumLength_ = text.size() - static_cast<std::size_t>(std::count(text.begin(), text.end(), '*'));

    const std::string_view prefix = text.substr(0, std::min(literalPrefix, wordSize));
    const std::string_view suffix = text.substr(text.size() - std::min(literalSuffix, wordSize));
    head_ = headOf(prefix);
    headMask_ = packed(std::string(prefix.size(), '\xFF'), false);
    tail_ = tailOf(suffix);
    tailMask_ = packed(std::string(suffix.size(), '\xFF'), true);

    for (std::size_t begin = 0;;) {
        const std::size_t end = std::min(text.find('*', begin), text.size());
        segments_.push_back({begin, end - begin, text.substr(begin, end - begin).find('?') != std::string_view::npos});
        if (end == text.size()) break;
        begin = end + 1;
    }
}

std::string_view GlobPattern::bytesOf(const Segment& segment) const {
    return std::string_view(lower_).substr(segment.begin, segment.size);
}

bool GlobPattern::segmentAt(std::string_view text, std::size_t position, const Segment& segment) const {
    const std::string_view bytes = bytesOf(segment);
    if (!segment.hasQuestionMark) return text.substr(position, segment.size) == bytes;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] != '?' && bytes[i] != text[position + i]) return false;
    return true;
}

std::size_t GlobPattern::findSegment(std::string_view text, std::size_t from, std::size_t to,
                                     const Segment& segment) const {
    if (to < from || to - from < segment.size) return std::string_view::npos;
    if (!segment.hasQuestionMark) {
        const std::size_t found = text.substr(from, to - from).find(bytesOf(segment));
        return found == std::string_view::npos ? found : from + found;
    }
    for (std::size_t position = from; position + segment.size <= to; ++position)
        if (segmentAt(text, position, segment)) return position;
    return std::string_view::npos;
}

// Called only with a text whose length fits: exactly the pattern's without a
// star, at least its bytes other than stars with one.
bool GlobPattern::matchesPastFilters(const Text& text) const {
    const std::string_view lowerText = text.lower;
    const Segment& first = segments_.front();
    if (!hasStar_) return segmentAt(lowerText, 0, first);
    // A "*" in the text meets a "*" of the pattern as a literal first, which
    // only the walk does. Without one the walk is a plain glob match: the
    // first and last segments sit at the ends, and each one between takes
    // its leftmost place after the one before, which leaves the most room.
    if (text.hasStar) return HostMatcher::matchesLowercased(lower_, lowerText);
    const Segment& last = segments_.back();
    if (!segmentAt(lowerText, 0, first) || !segmentAt(lowerText, lowerText.size() - last.size, last)) return false;
    std::size_t position = first.size;
    const std::size_t end = lowerText.size() - last.size;
    for (std::size_t i = 1; i + 1 < segments_.size(); ++i) {
        const std::size_t found = findSegment(lowerText, position, end, segments_[i]);
        if (found == std::string_view::npos) return false;
        position = found + segments_[i].size;
    }
    return true;
}

}  // namespace corvane
