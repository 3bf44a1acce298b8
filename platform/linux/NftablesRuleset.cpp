#include "NftablesRuleset.hpp"

#include "SocketAddress.hpp"
#include "CorvaneCore/Support/StandardInteger.hpp"

#include <algorithm>
#include <utility>
#include <cstdio>
#include <vector>

namespace corvane::platform {

namespace {

using Protocol = NetworkRule::Protocol;

// An address with a prefix, host bits cleared, and an optional port (0 = all).
struct Network {
    bool ipv6 = false;
    std::string text;
    std::uint16_t port = 0;
};

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08x", value);
    return text;
}

Network parseNetwork(const HostEndpoint& endpoint, int prefix) {
    const auto port = parseStandardInteger<std::uint16_t>(endpoint.port);
    if (!port) throw NftablesRuleset::Error("Network rule port \"" + endpoint.port + "\" is not a port number");
    auto address = SocketAddress::fromText(endpoint.hostname, 0);
    if (!address) throw NftablesRuleset::Error("Network rule address \"" + endpoint.hostname + "\" is not an IP address");
    const int bits = static_cast<int>(address->addressSize() * 8);
    if (prefix < 0 || prefix > bits)
        throw NftablesRuleset::Error("Network rule prefix " + std::to_string(prefix) + " is out of range for " +
                                     endpoint.hostname);
    auto* bytes = address->addressBytes();
    for (int bit = prefix; bit < bits; ++bit) bytes[bit / 8] &= static_cast<std::uint8_t>(~(0x80 >> (bit % 8)));
    return Network{address->family() == AF_INET6, address->hostText() + "/" + std::to_string(prefix), *port};
}

struct Chain {
    std::vector<std::string> exclusions;
    std::vector<std::string> inclusions;
};

struct Compilation {
    std::vector<std::string> sets[2][2];  // [udp][ipv6]
    Chain chains[2];                      // [udp]
};

std::vector<bool> protocolsOf(Protocol protocol) {
    switch (protocol) {
        case Protocol::tcp: return {false};
        case Protocol::udp: return {true};
        case Protocol::any: break;
    }
    return {false, true};
}

// The match part of a line ("ip daddr 10.0.0.0/8 th dport 53 ").
std::string matches(const std::optional<Network>& remote, const std::optional<Network>& local) {
    if (remote && local && remote->ipv6 != local->ipv6)
        throw NftablesRuleset::Error("Network rule mixes an IPv4 and an IPv6 network");
    std::string text;
    if (remote) text += std::string(remote->ipv6 ? "ip6" : "ip") + " daddr " + remote->text + " ";
    if (local) text += std::string(local->ipv6 ? "ip6" : "ip") + " saddr " + local->text + " ";
    if (remote && remote->port != 0) text += "th dport " + std::to_string(remote->port) + " ";
    if (local && local->port != 0) text += "th sport " + std::to_string(local->port) + " ";
    return text;
}

struct ParsedRule {
    std::optional<Network> remote;
    std::optional<Network> local;
};

ParsedRule parseRule(const NetworkRule& rule) {
    if (rule.direction != NetworkRule::Direction::outbound) throw NftablesRuleset::Error("Inbound rules are not supported");
    ParsedRule parsed;
    if (rule.remoteNetwork) parsed.remote = parseNetwork(*rule.remoteNetwork, rule.remotePrefix);
    if (rule.localNetwork) parsed.local = parseNetwork(*rule.localNetwork, rule.localPrefix);
    return parsed;
}

void addExclusion(Compilation& out, const NetworkRule& rule) {
    const auto parsed = parseRule(rule);
    for (const bool udp : protocolsOf(rule.protocol)) {
        if (parsed.remote && parsed.remote->port == 0 && !parsed.local) {
            auto& set = out.sets[udp][parsed.remote->ipv6];
            if (std::find(set.begin(), set.end(), parsed.remote->text) == set.end()) set.push_back(parsed.remote->text);
        } else {
            out.chains[udp].exclusions.push_back(matches(parsed.remote, parsed.local) + "return");
        }
    }
}

void addInclusion(Compilation& out, const NetworkRule& rule, const DiversionConstants& constants) {
    const auto parsed = parseRule(rule);
    for (const bool udp : protocolsOf(rule.protocol)) {
        const auto match = matches(parsed.remote, parsed.local);
        out.chains[udp].inclusions.push_back(match + "meta mark set " + hex(constants.divertMark));
    }
}

std::string setText(const std::string& name, bool ipv6, const std::vector<std::string>& elements) {
    std::string text = "  set " + name + " { type " + (ipv6 ? "ipv6_addr" : "ipv4_addr") + "; flags interval;";
    if (!elements.empty()) {
        text += " elements = { ";
        for (std::size_t i = 0; i < elements.size(); ++i) text += (i ? ", " : "") + elements[i];
        text += " }";
    }
    return text + " }\n";
}

std::string chainText(const Compilation& out, bool udp, const DiversionConstants& constants) {
    const std::string proto = udp ? "udp" : "tcp";
    std::string text = "  chain out_" + proto + " {\n";
    text += "    type route hook output priority mangle; policy accept;\n";
    text += "    meta l4proto != " + proto + " return\n";
    text += "    meta mark " + hex(constants.bypassMark) + " return\n";
    text += "    fib daddr type { local, broadcast, multicast } return\n";
    text += "    ip daddr @excl_" + proto + "4 return\n";
    text += "    ip6 daddr @excl_" + proto + "6 return\n";
    for (const auto& line : out.chains[udp].exclusions) text += "    " + line + "\n";
    if (udp) {
        text += "    ip saddr . udp sport @udp_declined4 return\n";
        text += "    ip6 saddr . udp sport @udp_declined6 return\n";
    }
    for (const auto& line : out.chains[udp].inclusions) text += "    " + line + "\n";
    return text + "  }\n";
}

// Marked packets come back through lo (policy routing) and are handed to the
// transparent listeners unchanged: no address is rewritten, so the accepted
// socket carries the program's own source address and port.
std::string tproxyChain(const DiversionConstants& constants) {
    const auto mark = hex(constants.divertMark);
    std::string text = "  chain divert {\n    type filter hook prerouting priority mangle; policy accept;\n";
    const std::pair<std::string, std::uint16_t> listeners[] = {{"tcp", constants.tcpPort}, {"udp", constants.udpPort}};
    for (const auto& [proto, port] : listeners) {
        const auto match = "    meta mark " + mark + " meta nfproto ";
        text += match + "ipv4 meta l4proto " + proto + " tproxy ip to 127.0.0.1:" + std::to_string(port) + " accept\n";
        text += match + "ipv6 meta l4proto " + proto + " tproxy ip6 to [::1]:" + std::to_string(port) + " accept\n";
    }
    return text + "  }\n";
}

}  // namespace

std::string NftablesRuleset::compile(const TransparentProxyNetworkSettings& settings,
                                     const DiversionConstants& constants) {
    Compilation out;
    for (const auto& rule : settings.excludedNetworkRules) addExclusion(out, rule);
    for (const auto& rule : settings.includedNetworkRules) addInclusion(out, rule, constants);
    std::string text = "table inet " + constants.tableName + " {\n  flags owner;\n";
    text += setText("excl_tcp4", false, out.sets[0][0]);
    text += setText("excl_tcp6", true, out.sets[0][1]);
    text += setText("excl_udp4", false, out.sets[1][0]);
    text += setText("excl_udp6", true, out.sets[1][1]);
    text += "  set udp_declined4 { type ipv4_addr . inet_service; flags timeout; }\n";
    text += "  set udp_declined6 { type ipv6_addr . inet_service; flags timeout; }\n";
    text += chainText(out, false, constants);
    text += chainText(out, true, constants);
    text += tproxyChain(constants);
    return text + "}\n";
}

std::string NftablesRuleset::replacement(const std::string& table, const DiversionConstants& constants) {
    const auto name = "inet " + constants.tableName;
    return "add table " + name + " { flags owner; }\ndelete table " + name + "\n" + table;
}

std::string NftablesRuleset::removal(const DiversionConstants& constants) {
    return "delete table inet " + constants.tableName + "\n";
}

std::string NftablesRuleset::declinedElements(std::span<const SocketAddress> sources, unsigned seconds,
                                              const DiversionConstants& constants) {
    std::string elements[2];  // [ipv6]
    const auto timeout = " timeout " + std::to_string(seconds) + "s";
    for (const auto& source : sources) {
        auto& list = elements[source.family() == AF_INET6];
        list += (list.empty() ? "" : ", ") + source.hostText() + " . " + std::to_string(source.port()) + timeout;
    }
    std::string script;
    for (const bool ipv6 : {false, true}) {
        if (elements[ipv6].empty()) continue;
        script += "add element inet " + constants.tableName + (ipv6 ? " udp_declined6 { " : " udp_declined4 { ") +
                  elements[ipv6] + " }\n";
    }
    return script;
}

}  // namespace corvane::platform
