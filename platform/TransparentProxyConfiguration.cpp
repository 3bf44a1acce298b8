#include "platform/TransparentProxyConfiguration.hpp"

#include "CorvaneCore/Support/JsonReader.hpp"

namespace corvane::platform {

nlohmann::json toJson(const TransparentProxyConfiguration& configuration) {
    return {{"localizedDescription", configuration.localizedDescription},
            {"enabled", configuration.enabled},
            {"protocol", toJson(configuration.protocolConfiguration)}};
}

TransparentProxyConfiguration TransparentProxyConfiguration::fromJson(const nlohmann::json& json) {
    json::requireObject(json, "configuration");
    TransparentProxyConfiguration configuration;
    configuration.localizedDescription = json::required<std::string>(json, "localizedDescription");
    configuration.enabled = json::required<bool>(json, "enabled");
    configuration.protocolConfiguration = TunnelProviderProtocol::fromJson(json::require(json, "protocol"));
    return configuration;
}

}  // namespace corvane::platform
