#include "CorvaneCore/Support/Unicode.hpp"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <array>
#include <cstdint>

namespace corvane::unicode {
namespace {

// Control characters, line and paragraph separators, bidirectional controls.
bool isUnsafeToShow(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

struct LeadRule {
    int continuationCount;
    std::uint8_t secondLow;
    std::uint8_t secondHigh;
};

// Well-formed UTF-8 by lead byte: how many continuation bytes follow and the
// allowed range of the first of them (the others are always 80..BF).
bool leadRule(std::uint8_t lead, LeadRule& rule) {
    if (lead >= 0xC2 && lead <= 0xDF) rule = {1, 0x80, 0xBF};
    else if (lead == 0xE0) rule = {2, 0xA0, 0xBF};
    else if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) rule = {2, 0x80, 0xBF};
    else if (lead == 0xED) rule = {2, 0x80, 0x9F};
    else if (lead == 0xF0) rule = {3, 0x90, 0xBF};
    else if (lead >= 0xF1 && lead <= 0xF3) rule = {3, 0x80, 0xBF};
    else if (lead == 0xF4) rule = {3, 0x80, 0x8F};
    else return false;
    return true;
}

char32_t leadBits(std::uint8_t lead, int continuationCount) {
    static constexpr std::array<std::uint8_t, 4> kMasks{0x7F, 0x1F, 0x0F, 0x07};
    return lead & kMasks[static_cast<std::size_t>(continuationCount)];
}

}  // namespace

char32_t decodeScalar(std::string_view text, std::size_t& pos, bool& valid) {
    const auto lead = static_cast<std::uint8_t>(text[pos++]);
    valid = false;
    if (lead < 0x80) {
        valid = true;
        return lead;
    }
    LeadRule rule{};
    if (!leadRule(lead, rule)) return kReplacementCharacter;
    char32_t scalar = leadBits(lead, rule.continuationCount);
    for (int i = 0; i < rule.continuationCount; ++i) {
        if (pos >= text.size()) return kReplacementCharacter;
        const auto byte = static_cast<std::uint8_t>(text[pos]);
        const std::uint8_t low = i == 0 ? rule.secondLow : 0x80;
        const std::uint8_t high = i == 0 ? rule.secondHigh : 0xBF;
        if (byte < low || byte > high) return kReplacementCharacter;
        scalar = (scalar << 6) | (byte & 0x3F);
        ++pos;
    }
    valid = true;
    return scalar;
}

void appendUTF8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool isValidUTF8(std::string_view bytes) {
    std::size_t pos = 0;
    bool valid = true;
    while (pos < bytes.size() && valid) decodeScalar(bytes, pos, valid);
    return valid;
}

std::string replacingInvalidUTF8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    bool valid = true;
    while (pos < bytes.size()) appendUTF8(out, decodeScalar(bytes, pos, valid));
    return out;
}

std::string displayExcerpt(std::string_view bytes, std::size_t limit) {
    std::string out;
    std::size_t pos = 0;
    bool valid = true;
    for (std::size_t count = 0; pos < bytes.size(); ++count) {
        if (count == limit) return out + "\u2026";
        const char32_t scalar = decodeScalar(bytes, pos, valid);
        appendUTF8(out, isUnsafeToShow(scalar) ? U'\uFFFD' : scalar);
    }
    return out;
}

bool isTrimScalar(char32_t c) {
    return c == 0x09 || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

std::string_view trimmed(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t pos = 0;
    bool seenOther = false;
    bool valid = true;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const char32_t c = decodeScalar(text, pos, valid);
        if (isTrimScalar(c)) continue;
        if (!seenOther) begin = start;
        seenOther = true;
        end = pos;
    }
    return seenOther ? text.substr(begin, end - begin) : std::string_view{};
}

bool isNewlineScalar(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isAlphanumeric(char32_t c) {
    return (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

namespace {

void appendLowercased(std::string& out, char32_t scalar) {
    UChar source[2];
    int32_t sourceLength = 0;
    U16_APPEND_UNSAFE(source, sourceLength, static_cast<UChar32>(scalar));
    UChar lower[8];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_strToLower(lower, 8, source, sourceLength, "", &status);
    if (U_FAILURE(status)) {
        appendUTF8(out, scalar);
        return;
    }
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U16_NEXT_UNSAFE(lower, i, c);
        appendUTF8(out, static_cast<char32_t>(c));
    }
}

}  // namespace

std::string lowercased(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            out.push_back(byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 32) : static_cast<char>(byte));
            ++pos;
            continue;
        }
        const std::size_t start = pos;
        bool valid = true;
        const char32_t c = decodeScalar(text, pos, valid);
        if (valid) appendLowercased(out, c);
        else out.append(text.substr(start, pos - start));  // keep bytes that are not text as they are
    }
    return out;
}

}  // namespace corvane::unicode
