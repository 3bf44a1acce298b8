#pragma once

#include <string>
#include <vector>

#include "platform/NetworkRule.hpp"

namespace corvane::platform {

// Which outbound flows the platform diverts to the provider: those an included rule
// covers and no excluded rule covers.
struct TransparentProxyNetworkSettings {
    std::string tunnelRemoteAddress;
    std::vector<NetworkRule> includedNetworkRules;
    std::vector<NetworkRule> excludedNetworkRules;

    friend bool operator==(const TransparentProxyNetworkSettings&,
                           const TransparentProxyNetworkSettings&) = default;
};

}  // namespace corvane::platform
