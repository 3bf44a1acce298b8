#pragma once

#include "CorvaneCore/Support/JsonReader.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// An inclusive range of destination ports. Built in code the bounds are
// ordered; read from JSON they stay as written (a reversed range is empty).
struct PortRange {
    std::uint16_t lowerBound;
    std::uint16_t upperBound;

    explicit PortRange(std::uint16_t port) : lowerBound(port), upperBound(port) {}
    // The smaller of the two becomes the lower bound.
    PortRange(std::uint16_t a, std::uint16_t b);

    // A port-list entry as typed: "443", "8000-8080", "8080 - 8000"; none when
    // the text is not one port or two ports around a hyphen.
    static std::optional<PortRange> parsing(std::string_view text);

    bool contains(std::uint16_t port) const { return lowerBound <= port && port <= upperBound; }
    // "443" for a single port, else "8000-8080".
    std::string displayText() const;

    static PortRange fromJson(const json::Json& value);
    friend bool operator==(const PortRange&, const PortRange&) = default;
};

json::Json toJson(const PortRange& range);

}  // namespace corvane

template <>
struct std::hash<corvane::PortRange> {
    std::size_t operator()(const corvane::PortRange& range) const noexcept;
};
