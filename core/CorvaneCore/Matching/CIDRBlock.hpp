#pragma once

#include "CorvaneCore/Matching/IPAddressValue.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

namespace corvane {

// A network: an address and the number of leading bits that must agree. The
// base is kept as written (host bits are not cleared), so 10.1.2.3/8 and
// 10.0.0.0/8 are different values that contain the same addresses.
struct CIDRBlock {
    IPAddressValue base;
    int prefixLength = 0;

    // An address alone (a single-host network) or an address, "/" and a
    // prefix length within the width of the (folded) address family.
    static std::optional<CIDRBlock> fromString(std::string_view text);

    // Whether the address lies in the network. The address is not folded: an
    // IPv6 address never lies in an IPv4 network.
    bool contains(const IPAddressValue& address) const;

    friend bool operator==(const CIDRBlock&, const CIDRBlock&) = default;
};

}  // namespace corvane

template <>
struct std::hash<corvane::CIDRBlock> {
    std::size_t operator()(const corvane::CIDRBlock& block) const noexcept {
        return std::hash<corvane::IPAddressValue>{}(block.base) * 31 + static_cast<std::size_t>(block.prefixLength);
    }
};
