#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// A 128-bit identifier. Text form: 8-4-4-4-12 hexadecimal digits, written
// upper-case, read in either case; no braces, prefixes or bare digit runs.
class UUID {
public:
    using Bytes = std::array<std::uint8_t, 16>;

    UUID() = default;  // the nil identifier, all zero
    explicit UUID(const Bytes& bytes) : bytes_(bytes) {}

    // A fresh random version-4 identifier.
    static UUID random();
    static std::optional<UUID> fromString(std::string_view text);

    std::string toString() const;
    const Bytes& bytes() const { return bytes_; }

    friend auto operator<=>(const UUID&, const UUID&) = default;

private:
    Bytes bytes_{};
};

}  // namespace corvane

template <>
struct std::hash<corvane::UUID> {
    std::size_t operator()(const corvane::UUID& id) const noexcept;
};
