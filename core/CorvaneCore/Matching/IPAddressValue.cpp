#include "CorvaneCore/Matching/IPAddressValue.hpp"

#include "CorvaneCore/Support/StandardInteger.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>

namespace corvane {
namespace {

// The longest IPv6 text inet_pton accepts is 45 characters
// (six groups of four digits and a dotted quad); anything longer is no address.
constexpr std::size_t kMaxV6TextLength = INET6_ADDRSTRLEN - 1;
// Four pieces of at most three characters and three dots.
constexpr std::size_t kMaxV4TextLength = 15;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::optional<std::uint8_t> parseOctet(std::string_view piece) {
    if (piece.empty() || piece.size() > 3) return std::nullopt;
    const auto value = parseStandardInteger<unsigned>(piece);
    if (!value || *value > 255) return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

}  // namespace

std::optional<std::uint32_t> IPAddressValue::parseV4(std::string_view text) {
    // Host names reach this on every flow: turn most of them away at once.
    if (text.empty() || text.size() > kMaxV4TextLength) return std::nullopt;
    if (!isDigit(text[0]) && text[0] != '+' && text[0] != '-') return std::nullopt;
    std::uint32_t result = 0;
    int pieces = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = text.find('.', start);
        const std::size_t end = dot == std::string_view::npos ? text.size() : dot;
        if (++pieces > 4) return std::nullopt;
        const auto octet = parseOctet(text.substr(start, end - start));
        if (!octet) return std::nullopt;
        result = (result << 8) | *octet;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    if (pieces != 4) return std::nullopt;
    return result;
}

std::optional<IPAddressValue::V6Bytes> IPAddressValue::parseV6(std::string_view text) {
    // inet_pton reads up to a NUL: a text with an embedded NUL must not parse
    // as its prefix.
    if (text.empty() || text.size() > kMaxV6TextLength || text.find('\0') != std::string_view::npos)
        return std::nullopt;
    // Every IPv6 text starts with a hexadecimal digit or a colon.
    if (!isHexDigit(text[0]) && text[0] != ':') return std::nullopt;
    char buffer[kMaxV6TextLength + 1];
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    V6Bytes bytes{};
    if (inet_pton(AF_INET6, buffer, bytes.data()) != 1) return std::nullopt;
    return bytes;
}

std::optional<IPAddressValue> IPAddressValue::unmappingIPv4(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != 16) return std::nullopt;
    for (std::size_t i = 0; i < 10; ++i)
        if (bytes[i] != 0) return std::nullopt;
    const bool mapped = bytes[10] == 0xFF && bytes[11] == 0xFF;
    const bool compatible = bytes[10] == 0 && bytes[11] == 0;
    if (!mapped && !compatible) return std::nullopt;
    const std::uint32_t value = (std::uint32_t{bytes[12]} << 24) | (std::uint32_t{bytes[13]} << 16) |
                                (std::uint32_t{bytes[14]} << 8) | std::uint32_t{bytes[15]};
    if (compatible && value <= 1) return std::nullopt;
    return v4(value);
}

std::optional<IPAddressValue> IPAddressValue::fromString(std::string_view text) {
    if (const auto value = parseV4(text)) return v4(*value);
    const auto bytes = parseV6(text);
    if (!bytes) return std::nullopt;
    if (auto folded = unmappingIPv4(*bytes)) return folded;
    return v6(*bytes);
}

std::size_t IPAddressValue::copyBytes(V6Bytes& out) const {
    if (const auto* address = std::get_if<V4>(&value_)) {
        for (std::size_t i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(address->value >> (24 - 8 * i));
        return 4;
    }
    out = std::get<V6>(value_).bytes;
    return 16;
}

std::vector<std::uint8_t> IPAddressValue::bytes() const {
    V6Bytes buffer{};
    const std::size_t count = copyBytes(buffer);
    return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count)};
}

std::string IPAddressValue::description() const {
    if (const auto* address = std::get_if<V4>(&value_)) {
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", address->value >> 24, (address->value >> 16) & 0xFF,
                      (address->value >> 8) & 0xFF, address->value & 0xFF);
        return text;
    }
    const auto& bytes = std::get<V6>(value_).bytes;
    char text[INET6_ADDRSTRLEN];
    if (inet_ntop(AF_INET6, bytes.data(), text, sizeof text) != nullptr) return text;
    std::string hex;
    for (std::uint8_t byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

std::ostream& operator<<(std::ostream& out, const IPAddressValue& address) {
    return out << address.description();
}

}  // namespace corvane

std::size_t std::hash<corvane::IPAddressValue>::operator()(const corvane::IPAddressValue& address) const noexcept {
    // FNV-1a over the case and then the bytes, in step with equality.
    corvane::IPAddressValue::V6Bytes bytes{};
    const std::size_t count = address.copyBytes(bytes);
    std::size_t hash = 1469598103934665603ULL;
    const auto mix = [&hash](std::uint8_t byte) { hash = (hash ^ byte) * 1099511628211ULL; };
    mix(address.isV4() ? 4 : 6);
    for (std::size_t i = 0; i < count; ++i) mix(bytes[i]);
    return hash;
}
