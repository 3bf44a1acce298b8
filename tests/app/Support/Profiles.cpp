#include "Profiles.hpp"

#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "Shared/ProviderConfiguration.hpp"

namespace corvane::app::testing {

namespace {

const platform::ConfigValue* valueOf(const platform::TransparentProxyConfiguration& configuration,
                                     std::string_view key) {
    const auto& values = configuration.protocolConfiguration.providerConfiguration;
    if (!values) return nullptr;
    const auto it = values->find(std::string(key));
    return it == values->end() ? nullptr : &it->second;
}

}  // namespace

std::optional<platform::StringMap> storedSecrets(const platform::TransparentProxyConfiguration& configuration) {
    const auto* value = valueOf(configuration, ProviderConfiguration::proxySecretsKey);
    const auto* map = value ? std::get_if<platform::StringMap>(value) : nullptr;
    return map ? std::optional(*map) : std::nullopt;
}

std::optional<Profile> storedProfile(const platform::TransparentProxyConfiguration& configuration) {
    const auto* value = valueOf(configuration, ProviderConfiguration::profileKey);
    const auto* data = value ? std::get_if<platform::Bytes>(value) : nullptr;
    return data ? std::optional(ProfileCodec::decode(*data)) : std::nullopt;
}

}  // namespace corvane::app::testing
