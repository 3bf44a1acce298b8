#include "CorvaneCore/Engine/UDPInterception.hpp"

#include "CorvaneCore/Models/Profile.hpp"

#include <algorithm>

namespace corvane {
namespace {

bool appliesToUDP(const Rule& rule) {
    return rule.isEnabled && (rule.transports.empty() || rule.transports.contains(TransportProtocol::udp));
}

bool isBlock(const RuleAction& action) { return action.kind() == RuleAction::Kind::block; }

}  // namespace

std::string_view toString(UDPInterception interception) {
    switch (interception) {
    case UDPInterception::routed: return "routed";
    case UDPInterception::snoopDNSOnly: return "snoopDNSOnly";
    case UDPInterception::decline: return "decline";
    }
    return "decline";
}

std::optional<UDPInterception> udpInterceptionFromString(std::string_view text) {
    for (auto interception : {UDPInterception::routed, UDPInterception::snoopDNSOnly, UDPInterception::decline})
        if (toString(interception) == text) return interception;
    return std::nullopt;
}

bool Profile::couldRouteUDPThroughProxy() const {
    if (!defaultAction.proxyIDs().empty()) return true;
    return std::any_of(rules.begin(), rules.end(),
                       [](const Rule& rule) { return appliesToUDP(rule) && !rule.action.proxyIDs().empty(); });
}

// A profile that blocks UDP must take the flows over too, or the block the
// rules promise would never be applied.
UDPInterception Profile::udpInterception(const std::optional<std::string>& sourceApp) const {
    const bool couldBlockUDP =
        isBlock(defaultAction) ||
        std::any_of(rules.begin(), rules.end(), [](const Rule& rule) { return appliesToUDP(rule) && isBlock(rule.action); });
    if (couldRouteUDPThroughProxy() || couldBlockUDP) return UDPInterception::routed;
    if (sourceApp == systemResolverIdentifier) return UDPInterception::snoopDNSOnly;
    return UDPInterception::decline;
}

}  // namespace corvane
