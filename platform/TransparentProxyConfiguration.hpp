#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "platform/TunnelProviderProtocol.hpp"

namespace corvane::platform {

// A saved transparent-proxy configuration: what the app stores and the daemon keeps.
struct TransparentProxyConfiguration {
    std::string localizedDescription;
    bool enabled = false;
    TunnelProviderProtocol protocolConfiguration;

    friend bool operator==(const TransparentProxyConfiguration&,
                           const TransparentProxyConfiguration&) = default;

    // Throws JsonDecodeError.
    static TransparentProxyConfiguration fromJson(const nlohmann::json& json);
};

// Keys "localizedDescription", "enabled", "protocol".
nlohmann::json toJson(const TransparentProxyConfiguration& configuration);

}  // namespace corvane::platform
