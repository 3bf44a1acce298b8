#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// A HostMatcher pattern prepared for matching many texts: lower-cased once,
// with the literal bytes at its two ends packed into words, so that most
// texts that cannot match are turned away by a length test and two word
// comparisons, without the walk.
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
    };

    explicit GlobPattern(std::string_view pattern);

    // HostMatcher::matches(pattern, text).
    bool matches(const Text& text) const {
        const bool lengthFits = hasStar_ ? text.lower.size() >= minimumLength_ : text.lower.size() == minimumLength_;
        return lengthFits && ((text.head ^ head_) & headMask_) == 0 && ((text.tail ^ tail_) & tailMask_) == 0 &&
               matchesBeyondEnds(text.lower);
    }

private:
    bool matchesBeyondEnds(std::string_view lowerText) const;

    // The literal bytes before the first wildcard only ever meet the text's
    // first bytes, those after the last wildcard its last bytes, and every
    // byte but a "*" takes one text byte of its own: these are the checks
    // that need no walk.
    bool hasStar_ = false;
    std::size_t minimumLength_ = 0;  // bytes other than "*"
    Word head_ = 0;  // up to eight bytes before the first wildcard, as Text::head holds them
    Word headMask_ = 0;
    Word tail_ = 0;  // up to eight bytes after the last wildcard, as Text::tail holds them
    Word tailMask_ = 0;
    std::string lower_;
    std::size_t literalPrefix_ = 0;  // bytes before the first "*" or "?" (all without one)
    std::size_t literalSuffix_ = 0;  // bytes after the last "*" or "?" (all without one)
};

}  // namespace corvane
