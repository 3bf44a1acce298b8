#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace corvane {

// One IPv4 or IPv6 address. An IPv6 text or byte string holding an
// IPv4-mapped (::ffff:a.b.c.d) or IPv4-compatible (::a.b.c.d) address is
// folded to IPv4, so the same host compares equal whichever form named it.
class IPAddressValue {
public:
    using V6Bytes = std::array<std::uint8_t, 16>;

    // The first octet of the dotted form is the most significant byte.
    struct V4 {
        std::uint32_t value = 0;
        friend bool operator==(const V4&, const V4&) = default;
    };
    // Network byte order.
    struct V6 {
        V6Bytes bytes{};
        friend bool operator==(const V6&, const V6&) = default;
    };

    static IPAddressValue v4(std::uint32_t value) { return IPAddressValue(V4{value}); }
    static IPAddressValue v6(const V6Bytes& bytes) { return IPAddressValue(V6{bytes}); }

    // Parses an IPv4 or IPv6 literal (folding mapped and compatible IPv6
    // addresses to IPv4). The text is not trimmed.
    static std::optional<IPAddressValue> fromString(std::string_view text);

    // The strict dotted quad: four pieces of 1 to 3 characters, each read by
    // the standard integer reader and at most 255 (leading zeros stay decimal).
    static std::optional<std::uint32_t> parseV4(std::string_view text);
    // inet_pton(AF_INET6) over the whole text.
    static std::optional<V6Bytes> parseV6(std::string_view text);
    // The IPv4 address inside 16 IPv4-mapped or IPv4-compatible bytes; :: and
    // ::1 are not folded.
    static std::optional<IPAddressValue> unmappingIPv4(std::span<const std::uint8_t> bytes);

    bool isV4() const { return std::holds_alternative<V4>(value_); }
    bool isV6() const { return std::holds_alternative<V6>(value_); }
    const std::variant<V4, V6>& value() const { return value_; }

    // 4 bytes most significant first for IPv4; the 16 bytes for IPv6.
    std::vector<std::uint8_t> bytes() const;
    // Writes the bytes into `out` and returns how many there are (4 or 16).
    std::size_t copyBytes(V6Bytes& out) const;

    // Dotted decimal for IPv4; the platform's standard (lower-case) text for IPv6.
    std::string description() const;

    friend bool operator==(const IPAddressValue&, const IPAddressValue&) = default;

private:
    explicit IPAddressValue(std::variant<V4, V6> value) : value_(value) {}

    std::variant<V4, V6> value_;
};

std::ostream& operator<<(std::ostream& out, const IPAddressValue& address);

}  // namespace corvane

template <>
struct std::hash<corvane::IPAddressValue> {
    std::size_t operator()(const corvane::IPAddressValue& address) const noexcept;
};
