#include "Tunnel/TransparentProxyProvider.hpp"

namespace corvane::tunnel {
namespace {

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += separator;
        text += parts[i];
    }
    return text;
}

std::vector<std::string> loggedNames(const std::vector<UUID>& ids, const Profile& profile) {
    std::vector<std::string> names;
    for (const UUID& id : ids) {
        const ProxyServer* proxy = profile.proxy(id);
        names.push_back(proxy ? proxy->name : "missing");
    }
    return names;
}

std::vector<std::string> namesOf(const std::vector<ProxyServer>& proxies) {
    std::vector<std::string> names;
    for (const ProxyServer& proxy : proxies) names.push_back(proxy.name);
    return names;
}

platform::NetworkRule outboundRule(platform::NetworkRule::Protocol protocol) {
    platform::NetworkRule rule;
    rule.protocol = protocol;
    rule.direction = platform::NetworkRule::Direction::outbound;
    return rule;
}

}  // namespace

platform::TransparentProxyNetworkSettings TransparentProxyProvider::networkSettings() {
    using Protocol = platform::NetworkRule::Protocol;
    platform::TransparentProxyNetworkSettings settings;
    settings.tunnelRemoteAddress = "127.0.0.1";
    settings.includedNetworkRules = {outboundRule(Protocol::tcp), outboundRule(Protocol::udp)};
    // Multicast and limited broadcast never reach a proxy.
    const std::pair<const char*, int> groupAddressExclusions[] = {
        {"224.0.0.0", 4}, {"255.255.255.255", 32}, {"ff00::", 8}};
    for (const auto& [address, prefix] : groupAddressExclusions) {
        for (Protocol protocol : {Protocol::tcp, Protocol::udp}) {
            platform::NetworkRule rule = outboundRule(protocol);
            rule.remoteNetwork = platform::HostEndpoint{address, "0"};
            rule.remotePrefix = prefix;
            settings.excludedNetworkRules.push_back(rule);
        }
    }
    return settings;
}

std::string TransparentProxyProvider::describe(const RuleAction& action, const Profile& profile) {
    switch (action.kind()) {
    case RuleAction::Kind::direct:
        return "DIRECT";
    case RuleAction::Kind::block:
        return "BLOCK";
    case RuleAction::Kind::proxy:
        return "PROXY(" + loggedNames(action.proxyIDs(), profile).front() + ")";
    case RuleAction::Kind::chain:
        return "CHAIN(" + joined(loggedNames(action.proxyIDs(), profile), "→") + ")";
    case RuleAction::Kind::failover:
        return "FAILOVER(" + joined(loggedNames(action.proxyIDs(), profile), "|") + ")";
    }
    return {};
}

std::string TransparentProxyProvider::routeDescription(const RuleAction& action,
                                                       const std::vector<ProxyServer>& proxies) {
    switch (action.kind()) {
    case RuleAction::Kind::direct:
        return {};
    case RuleAction::Kind::block:
        return "Block";
    case RuleAction::Kind::proxy:
        return "Proxy: " + proxies.front().name;
    case RuleAction::Kind::chain:
        if (proxies.size() == 1) return "Proxy: " + proxies.front().name;
        return "Chain: " + joined(namesOf(proxies), " → ");
    case RuleAction::Kind::failover:
        return "Failover: trying " + std::to_string(proxies.size()) + " proxies";
    }
    return {};
}

}  // namespace corvane::tunnel
