#pragma once

#include <optional>

#include "platform/HostEndpoint.hpp"

namespace corvane::platform {

// Which traffic a network rule covers. A rule without a remote network covers
// every destination; port "0" in a network means every port.
struct NetworkRule {
    enum class Protocol { any, tcp, udp };
    enum class Direction { any, inbound, outbound };

    std::optional<HostEndpoint> remoteNetwork;
    int remotePrefix = 0;
    std::optional<HostEndpoint> localNetwork;
    int localPrefix = 0;
    Protocol protocol = Protocol::any;
    Direction direction = Direction::outbound;

    friend bool operator==(const NetworkRule&, const NetworkRule&) = default;
};

}  // namespace corvane::platform
