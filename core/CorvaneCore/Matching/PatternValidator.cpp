#include "CorvaneCore/Matching/PatternValidator.hpp"

#include "CorvaneCore/Matching/CIDRBlock.hpp"
#include "CorvaneCore/Matching/IPAddressValue.hpp"
#include "CorvaneCore/Support/StandardInteger.hpp"
#include "CorvaneCore/Support/Unicode.hpp"

#include <cstdint>

namespace corvane::PatternValidator {
namespace {

// A reserved documentation domain, shown as an example host name.
constexpr std::string_view kExampleHost = "example.com";
constexpr std::string_view kHostCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_*?";

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool isIPLiteral(std::string_view text) {
    return IPAddressValue::parseV4(text).has_value() || IPAddressValue::parseV6(text).has_value();
}

std::string quoted(std::string_view text) { return "“" + std::string(text) + "”"; }

std::string scalarText(char32_t scalar) {
    std::string out;
    unicode::appendUTF8(out, scalar);
    return out;
}

// The first scalar of the text for which `allowed` is false.
template <class Allowed>
std::optional<char32_t> firstScalarNotIn(std::string_view text, Allowed allowed) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        bool valid = false;
        const char32_t scalar = unicode::decodeScalar(text, pos, valid);
        if (!valid || !allowed(scalar)) return scalar;
    }
    return std::nullopt;
}

// The network to suggest for an IP address written with wildcards. The
// suggestion must itself be a valid network: "10.*.*.*" gets no
// "10.*.*.0/24", and an IPv6 entry gets an IPv6 network.
std::string suggestedNetwork(std::string_view entry) {
    if (entry.ends_with(".*")) {
        const std::string prefix(entry.substr(0, entry.size() - 2));
        if (IPAddressValue::parseV4(prefix + ".0")) return prefix + ".0/24";
    }
    if (contains(entry, ":")) return "2001:db8::/32";
    return "10.0.0.0/8";
}

std::optional<std::string> slashError(std::string_view entry) {
    if (CIDRBlock::fromString(entry)) return std::nullopt;
    const std::size_t slash = entry.find('/');
    const std::string_view length = entry.substr(slash + 1);
    if (!contains(length, "/") && isIPLiteral(entry.substr(0, slash)))
        return "Invalid network prefix “/" + std::string(length) + "” — use /0–/32 for IPv4 or /0–/128 for IPv6.";
    return "Looks like a URL path. Enter a host name (" + std::string(kExampleHost) + "), a wildcard (*." +
           std::string(kExampleHost) + "), or a network (10.0.0.0/8).";
}

bool isWildcardAddress(std::string_view entry) {
    if (!contains(entry, "*") && !contains(entry, "?")) return false;
    std::string zeroed(entry);
    for (char& c : zeroed)
        if (c == '*' || c == '?') c = '0';
    return isIPLiteral(zeroed);
}

bool endsWithPort(std::string_view entry) {
    const std::size_t colon = entry.rfind(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view port = entry.substr(colon + 1);
    return !port.empty() && parseStandardInteger<std::uint16_t>(port).has_value();
}

std::optional<std::string> rangeError(std::string_view startText, std::string_view endText) {
    const auto start = parseStandardInteger<std::int64_t>(unicode::trimmed(startText));
    const auto end = parseStandardInteger<std::int64_t>(unicode::trimmed(endText));
    if (!start || !end) return "Ranges look like 8000-8999.";
    const auto inRange = [](std::int64_t port) { return port >= 0 && port <= 65535; };
    if (!inRange(*start) || !inRange(*end)) return "Ports must be within 0–65535.";
    if (*start > *end)
        return "Range start (" + std::to_string(*start) + ") is greater than its end (" + std::to_string(*end) + ").";
    return std::nullopt;
}

template <class Check>
std::vector<EntryError> validate(std::string_view fieldText, Check check) {
    std::vector<EntryError> errors;
    for (auto& entry : entries(fieldText))
        if (auto message = check(entry)) errors.push_back({UUID::random(), std::move(entry), std::move(*message)});
    return errors;
}

}  // namespace

std::vector<std::string> entries(std::string_view fieldText) {
    std::vector<std::string> result;
    const auto flush = [&](std::size_t start, std::size_t end) {
        const std::string_view piece = unicode::trimmed(fieldText.substr(start, end - start));
        if (!piece.empty()) result.emplace_back(piece);
    };
    std::size_t start = 0;
    std::size_t pos = 0;
    while (pos < fieldText.size()) {
        const std::size_t scalarStart = pos;
        bool valid = false;
        const char32_t scalar = unicode::decodeScalar(fieldText, pos, valid);
        if (scalar == ',' || (valid && unicode::isNewlineScalar(scalar))) {
            flush(start, scalarStart);
            start = pos;
        }
    }
    flush(start, fieldText.size());
    return result;
}

std::string text(const std::vector<std::string>& entries) {
    std::string joined;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) joined += '\n';
        joined += entries[i];
    }
    return joined;
}

std::vector<EntryError> validateHosts(std::string_view fieldText) { return validate(fieldText, hostPatternError); }

std::vector<EntryError> validateApplications(std::string_view fieldText) {
    return validate(fieldText, applicationPatternError);
}

std::vector<EntryError> validatePorts(std::string_view fieldText) { return validate(fieldText, portError); }

std::optional<std::string> hostPatternError(std::string_view entry) {
    if (entry.empty()) return "Empty entry.";
    if (contains(entry, " ")) return "Host patterns cannot contain spaces.";
    if (const std::size_t scheme = entry.find("://"); scheme != std::string_view::npos)
        return "Remove the “" + std::string(entry.substr(0, scheme)) + "://” prefix — enter just the host name.";
    if (contains(entry, "/")) return slashError(entry);
    if (isIPLiteral(entry)) return std::nullopt;
    if (isWildcardAddress(entry))
        return "Wildcards don’t work in IP addresses — use a network instead, e.g. " + suggestedNetwork(entry) + ".";
    if (endsWithPort(entry)) return "Remove the port — match ports in the Ports field instead.";
    const auto isHostCharacter = [](char32_t c) {
        return c < 0x80 && kHostCharacters.find(static_cast<char>(c)) != std::string_view::npos;
    };
    if (const auto bad = firstScalarNotIn(entry, isHostCharacter))
        return "Character " + quoted(scalarText(*bad)) + " is not allowed in a host pattern.";
    return std::nullopt;
}

std::optional<std::string> applicationPatternError(std::string_view entry) {
    if (entry.empty()) return "Empty entry.";
    if (contains(entry, "://"))
        return "Enter an application identifier (org.mozilla.firefox) or a path (/usr/bin/curl), not a URL.";
    if (!entry.starts_with("team:")) return std::nullopt;
    const std::string_view team = entry.substr(5);
    if (team.empty()) return "Add the signing team after “team:”, e.g. team:4QZ8N1VK3T.";
    if (const auto bad = firstScalarNotIn(team, unicode::isAlphanumeric))
        return quoted(scalarText(*bad)) +
               " is not part of a team identifier — they are 10 letters and digits, e.g. team:4QZ8N1VK3T.";
    return std::nullopt;
}

std::optional<std::string> portError(std::string_view entry) {
    if (entry.empty()) return "Empty entry.";
    const std::size_t hyphen = entry.find('-');
    if (hyphen == std::string_view::npos) {
        const auto port = parseStandardInteger<std::int64_t>(entry);
        if (!port) return quoted(entry) + " is not a number.";
        if (*port >= 65536) return "Port " + std::to_string(*port) + " is out of range (0–65535).";
        return std::nullopt;
    }
    const std::string_view rest = entry.substr(hyphen + 1);
    if (contains(rest, "-")) return "Ranges look like 8000-8999.";
    return rangeError(entry.substr(0, hyphen), rest);
}

}  // namespace corvane::PatternValidator
