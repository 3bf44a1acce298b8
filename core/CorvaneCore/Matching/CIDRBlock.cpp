#include "CorvaneCore/Matching/CIDRBlock.hpp"

#include "CorvaneCore/Support/StandardInteger.hpp"

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
    if (address.isV4() != base.isV4()) return false;
    IPAddressValue::V6Bytes baseBytes{};
    IPAddressValue::V6Bytes addressBytes{};
    const std::size_t count = base.copyBytes(baseBytes);
    address.copyBytes(addressBytes);

    int remaining = prefixLength;
    for (std::size_t i = 0; i < count && remaining >= 1; ++i, remaining -= 8) {
        const auto mask = remaining >= 8 ? std::uint8_t{0xFF} : static_cast<std::uint8_t>(0xFF << (8 - remaining));
        if (((baseBytes[i] ^ addressBytes[i]) & mask) != 0) return false;
    }
    return true;
}

}  // namespace corvane
