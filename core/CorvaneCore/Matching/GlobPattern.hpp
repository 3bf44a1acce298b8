#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// A HostMatcher pattern prepared for matching many texts: lower-cased once,
// with the literal bytes at its two ends packed into words, so that most
// texts that cannot match are turned away by a length test and two word
// comparisons, and split at its stars, so that the others are matched by
// searching for the pieces between the stars instead of by the walk.
class GlobPattern {
public:
    // Up to eight bytes of one end of a text.
    using Word = std::uint64_t;

    // A text prepared once for matching against many patterns: lower-cased
    // as HostMatcher lower-cases it, with its first eight bytes left-aligned
    // and its last eight right-aligned in a word each (zero-padded).
    struct Text {
        explicit Text(std::string_view text);

        std::string lower;
        Word head;
        Word tail;
        bool hasStar;
    };

    explicit GlobPattern(std::string_view pattern);

    // HostMatcher::matches(pattern, text).
    bool matches(const Text& text) const {
        const bool lengthFits = hasStar_ ? text.lower.size() >= minimumLength_ : text.lower.size() == minimumLength_;
        return lengthFits && ((text.head ^ head_) & headMask_) == 0 && ((text.tail ^ tail_) & tailMask_) == 0 &&
               matchesPastFilters(text);
    }

private:
    // The bytes between two stars (or an end and a star, or the whole
    // pattern without one), as their place in the lower-cased pattern.
    struct Segment {
        std::size_t begin;
        std::size_t size;
        bool hasQuestionMark;
    };

    bool matchesPastFilters(const Text& text) const;
    std::string_view bytesOf(const Segment& segment) const;
    bool segmentAt(std::string_view text, std::size_t position, const Segment& segment) const;
    // The first place of the segment within [from, to), or npos.
    std::size_t findSegment(std::string_view text, std::size_t from, std::size_t to, const Segment& segment) const;

    // The literal bytes before the first wildcard only ever meet the text's
    // first bytes, those after the last wildcard its last bytes, and every
    // byte but a "*" takes one text byte of its own: these are the checks
    // that need no search.
    bool hasStar_ = false;
    std::size_t minimumLength_ = 0;  // bytes other than "*"
    Word head_ = 0;  // up to eight bytes before the first wildcard, as Text::head holds them
    Word headMask_ = 0;
    Word tail_ = 0;  // up to eight bytes after the last wildcard, as Text::tail holds them
    Word tailMask_ = 0;
    std::string lower_;
    std::vector<Segment> segments_;  // the pattern split at every "*", in order
};

}  // namespace corvane
