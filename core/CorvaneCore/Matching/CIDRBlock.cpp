#include "CorvaneCore/Matching/CIDRBlock.hpp"

#include "CorvaneCore/Support/StandardInteger.hpp"

#include <algorithm>

namespace corvane {

std::optional<CIDRBlock> CIDRBlock::fromString(std::string_view text) {
    const std::size_t slash = text.find('/');
    const auto base = IPAddressValue::fromString(text.substr(0, slash));
    if (!base) return std::nullopt;
    const int width = base->isV4() ? 32 : 128;
    if (slash == std::string_view::npos) return CIDRBlock{*base, width};

    const std::string_view prefix = text.substr(slash + 1);
    if (prefix.find('/') != std::string_view::npos) return std::nullopt;
    const auto length = parseStandardInteger<int>(prefix);
    if (!length || *length < 0 || *length > width) return std::nullopt;
    return CIDRBlock{*base, *length};
}

bool CIDRBlock::contains(const IPAddressValue& address) const {
    // Runs for every network pattern of every rule tried, so it reads the
    // stored forms in place instead of copying their bytes.
    if (const auto* base4 = std::get_if<IPAddressValue::V4>(&base.value())) {
        const auto* address4 = std::get_if<IPAddressValue::V4>(&address.value());
        if (address4 == nullptr) return false;
        const int bits = std::clamp(prefixLength, 0, 32);
        const std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t{0} << (32 - bits);
        return ((base4->value ^ address4->value) & mask) == 0;
    }
    const auto* address6 = std::get_if<IPAddressValue::V6>(&address.value());
    if (address6 == nullptr) return false;
    const auto& baseBytes = std::get<IPAddressValue::V6>(base.value()).bytes;
    int remaining = prefixLength;
    for (std::size_t i = 0; i < baseBytes.size() && remaining >= 1; ++i, remaining -= 8) {
        const auto mask = remaining >= 8 ? std::uint8_t{0xFF} : static_cast<std::uint8_t>(0xFF << (8 - remaining));
        if (((baseBytes[i] ^ address6->bytes[i]) & mask) != 0) return false;
    }
    return true;
}

}  // namespace corvane
