#include "CorvaneCore/Models/PortRange.hpp"

#include "CorvaneCore/Support/HashCombine.hpp"
#include "CorvaneCore/Support/StandardInteger.hpp"
#include "CorvaneCore/Support/Unicode.hpp"

#include <algorithm>
#include <vector>

namespace corvane {
namespace {

// A piece holds no "-" (the text was split there), so a port is digits with
// an optional "+".
std::optional<std::uint16_t> parsePort(std::string_view piece) {
    return parseStandardInteger<std::uint16_t>(piece);
}

// At most three pieces are kept: three or more give no range anyway.
std::vector<std::string_view> nonEmptyPieces(std::string_view text) {
    std::vector<std::string_view> pieces;
    while (!text.empty() && pieces.size() < 3) {
        const auto dash = text.find('-');
        const auto piece = text.substr(0, dash);
        if (!piece.empty()) pieces.push_back(unicode::trimmed(piece));
        if (dash == std::string_view::npos) break;
        text.remove_prefix(dash + 1);
    }
    return pieces;
}

}  // namespace

PortRange::PortRange(std::uint16_t a, std::uint16_t b) : lowerBound(std::min(a, b)), upperBound(std::max(a, b)) {}

std::optional<PortRange> PortRange::parsing(std::string_view text) {
    const auto pieces = nonEmptyPieces(text);
    if (pieces.size() == 1) {
        const auto port = parsePort(pieces[0]);
        if (port) return PortRange(*port);
    } else if (pieces.size() == 2) {
        const auto first = parsePort(pieces[0]);
        const auto second = parsePort(pieces[1]);
        if (first && second) return PortRange(*first, *second);
    }
    return std::nullopt;
}

std::string PortRange::displayText() const {
    if (lowerBound == upperBound) return std::to_string(lowerBound);
    return std::to_string(lowerBound) + "-" + std::to_string(upperBound);
}

PortRange PortRange::fromJson(const json::Json& value) {
    json::requireObject(value, "port range");
    PortRange range(json::required<std::uint16_t>(value, "lowerBound"));
    range.upperBound = json::required<std::uint16_t>(value, "upperBound");
    return range;
}

json::Json toJson(const PortRange& range) {
    return json::Json{{"lowerBound", range.lowerBound}, {"upperBound", range.upperBound}};
}

}  // namespace corvane

std::size_t std::hash<corvane::PortRange>::operator()(const corvane::PortRange& range) const noexcept {
    std::size_t seed = 0;
    corvane::hashCombine(seed, range.lowerBound);
    corvane::hashCombine(seed, range.upperBound);
    return seed;
}
