#pragma once

#include <optional>
#include <string>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "CorvaneCore/Models/Profile.hpp"
#include "platform/TransparentProxyConfiguration.hpp"

namespace corvane::app::testing {

inline ProxyServer proxyNamed(std::string name, std::optional<std::string> password = std::nullopt,
                              std::string host = "127.0.0.1", std::uint16_t port = 1080) {
    ProxyServer proxy;
    proxy.id = UUID::random();
    proxy.name = std::move(name);
    proxy.host = std::move(host);
    proxy.port = port;
    if (password) proxy.credentials = ProxyCredentials{"alice", *password};
    return proxy;
}

inline Profile profileWith(std::vector<ProxyServer> proxies, RuleAction defaultAction = RuleAction::direct()) {
    Profile profile;
    profile.proxies = std::move(proxies);
    profile.defaultAction = std::move(defaultAction);
    return profile;
}

inline Rule ruleNamed(std::string name, RuleAction action, std::vector<std::string> hosts = {},
                      std::vector<std::string> applications = {}, bool enabled = true) {
    Rule rule;
    rule.id = UUID::random();
    rule.name = std::move(name);
    rule.action = std::move(action);
    rule.hosts = std::move(hosts);
    rule.applications = std::move(applications);
    rule.isEnabled = enabled;
    return rule;
}

inline ConnectionRecord recordOf(std::string app, std::uint64_t sent = 0, std::uint64_t received = 0) {
    ConnectionRecord record;
    record.id = UUID::random();
    record.appIdentifier = std::move(app);
    record.target = "example.org:443";
    record.actionDescription = "Direct";
    record.bytesSent = sent;
    record.bytesReceived = received;
    return record;
}

// The "proxySecrets" map of a stored configuration; none when absent or not a map.
std::optional<platform::StringMap> storedSecrets(const platform::TransparentProxyConfiguration& configuration);
// The profile stored in a configuration; none when absent or not data.
std::optional<Profile> storedProfile(const platform::TransparentProxyConfiguration& configuration);

}  // namespace corvane::app::testing
