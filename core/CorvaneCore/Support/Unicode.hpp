#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text helpers shared by every part of the system, so that the app and the
// daemon trim, split, lower-case and decode text the same way. All texts are
// UTF-8.
namespace corvane::unicode {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the scalar at `pos` and advances past it. An ill-formed sequence
// yields U+FFFD and advances past its maximal ill-formed subpart (at least one
// byte), which is how "one U+FFFD per bad subpart" decoding works. `valid` is
// set to whether the scalar was well formed.
char32_t decodeScalar(std::string_view text, std::size_t& pos, bool& valid);

void appendUTF8(std::string& out, char32_t scalar);

bool isValidUTF8(std::string_view bytes);

// The bytes as text, each maximal ill-formed subpart replaced by U+FFFD.
std::string replacingInvalidUTF8(std::string_view bytes);

// Text that came from a peer, made safe to show on one line: ill-formed bytes,
// control characters, line and paragraph separators and bidirectional
// controls become U+FFFD, and after `limit` scalars the rest becomes "…".
std::string displayExcerpt(std::string_view bytes, std::size_t limit);

// "Spaces and tabs": Unicode category Zs and U+0009; line breaks are not in it.
bool isTrimScalar(char32_t scalar);
std::string_view trimmed(std::string_view text);

// Line breaks: LF, VT, FF, CR, NEL, LINE SEPARATOR, PARAGRAPH SEPARATOR.
bool isNewlineScalar(char32_t scalar);

// Letters, marks and numbers (general categories L*, M*, N*).
bool isAlphanumeric(char32_t scalar);

// Full Unicode lower-casing, code point by code point, independent of locale.
// Lengths may change (U+0130 becomes "i" and U+0307).
std::string lowercased(std::string_view text);

}  // namespace corvane::unicode
