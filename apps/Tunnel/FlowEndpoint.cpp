#include "Tunnel/FlowEndpoint.hpp"

namespace corvane::tunnel {

std::optional<IPAddressValue> endpointAddress(std::string_view host) {
    if (auto address = IPAddressValue::fromString(host)) return address;
    const auto zone = host.find('%');
    if (zone == std::string_view::npos || zone + 1 == host.size()) return std::nullopt;
    auto bytes = IPAddressValue::parseV6(host.substr(0, zone));
    if (!bytes) return std::nullopt;
    return IPAddressValue::fromString(host.substr(0, zone));
}

}  // namespace corvane::tunnel
