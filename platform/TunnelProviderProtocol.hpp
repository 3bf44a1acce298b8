#pragma once

#include <map>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/ConfigValue.hpp"

namespace corvane::platform {

using ConfigurationDictionary = std::map<std::string, ConfigValue>;

// The protocol part of a transparent-proxy configuration, as the provider reads it.
struct TunnelProviderProtocol {
    std::string providerBundleIdentifier;
    std::string serverAddress;
    std::optional<ConfigurationDictionary> providerConfiguration;

    friend bool operator==(const TunnelProviderProtocol&, const TunnelProviderProtocol&) = default;

    // Throws JsonDecodeError.
    static TunnelProviderProtocol fromJson(const nlohmann::json& json);
};

nlohmann::json toJson(const TunnelProviderProtocol& protocol);

}  // namespace corvane::platform
