#pragma once

#include <string>
#include <vector>

#include "CorvaneCore/Models/Profile.hpp"

namespace corvane::tunnel::testing {

inline ProxyServer proxyServer(std::string name, ProxyProtocol kind, std::uint16_t port) {
    ProxyServer proxy;
    proxy.id = UUID::random();
    proxy.name = std::move(name);
    proxy.kind = kind;
    proxy.host = "127.0.0.1";
    proxy.port = port;
    return proxy;
}

inline Rule rule(std::string name, RuleAction action, std::vector<std::string> hosts = {},
                 std::set<TransportProtocol> transports = {}) {
    Rule rule;
    rule.id = UUID::random();
    rule.name = std::move(name);
    rule.hosts = std::move(hosts);
    rule.transports = std::move(transports);
    rule.action = std::move(action);
    return rule;
}

// A profile whose only rule sends everything the given way.
inline Profile profileWith(std::vector<ProxyServer> proxies, RuleAction action, std::string ruleName = "Everything") {
    Profile profile;
    profile.proxies = std::move(proxies);
    profile.rules.push_back(rule(std::move(ruleName), std::move(action)));
    return profile;
}

}  // namespace corvane::tunnel::testing
