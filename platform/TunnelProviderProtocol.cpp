#include "platform/TunnelProviderProtocol.hpp"

#include "CorvaneCore/Support/JsonReader.hpp"

namespace corvane::platform {

nlohmann::json toJson(const TunnelProviderProtocol& protocol) {
    nlohmann::json out{{"providerBundleIdentifier", protocol.providerBundleIdentifier},
                       {"serverAddress", protocol.serverAddress}};
    if (protocol.providerConfiguration) {
        nlohmann::json configuration = nlohmann::json::object();
        for (const auto& [key, value] : *protocol.providerConfiguration) {
            configuration[key] = configValueToJson(value);
        }
        out["providerConfiguration"] = std::move(configuration);
    }
    return out;
}

TunnelProviderProtocol TunnelProviderProtocol::fromJson(const nlohmann::json& json) {
    json::requireObject(json, "protocol");
    TunnelProviderProtocol protocol;
    protocol.providerBundleIdentifier = json::required<std::string>(json, "providerBundleIdentifier");
    protocol.serverAddress = json::required<std::string>(json, "serverAddress");
    if (const auto* configuration = json::find(json, "providerConfiguration")) {
        json::requireObject(*configuration, "providerConfiguration");
        ConfigurationDictionary values;
        for (const auto& [key, value] : configuration->items()) {
            values.emplace(key, configValueFromJson(value));
        }
        protocol.providerConfiguration = std::move(values);
    }
    return protocol;
}

}  // namespace corvane::platform
