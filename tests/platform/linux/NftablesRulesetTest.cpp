#include "platform/linux/NftablesRuleset.hpp"

#include <gtest/gtest.h>

namespace corvane::platform {
namespace {

using Protocol = NetworkRule::Protocol;

NetworkRule rule(Protocol protocol, std::optional<HostEndpoint> remote = std::nullopt, int prefix = 0) {
    NetworkRule result;
    result.protocol = protocol;
    result.remoteNetwork = std::move(remote);
    result.remotePrefix = prefix;
    return result;
}

// The settings the provider installs at start: all outbound TCP and UDP, minus
// multicast and limited broadcast, one rule per protocol.
TransparentProxyNetworkSettings providerSettings() {
    TransparentProxyNetworkSettings settings;
    settings.tunnelRemoteAddress = "127.0.0.1";
    settings.includedNetworkRules = {rule(Protocol::tcp), rule(Protocol::udp)};
    for (const auto& [address, prefix] : {std::pair{"224.0.0.0", 4}, {"255.255.255.255", 32}, {"ff00::", 8}}) {
        settings.excludedNetworkRules.push_back(rule(Protocol::tcp, HostEndpoint{address, "0"}, prefix));
        settings.excludedNetworkRules.push_back(rule(Protocol::udp, HostEndpoint{address, "0"}, prefix));
    }
    return settings;
}

DiversionConstants constants() {
    DiversionConstants result;
    result.tcpPort = 40001;
    result.udpPort = 40002;
    return result;
}

TEST(NftablesRuleset, CompilesTheProviderSettingsIntoTheWholeTable) {
    EXPECT_EQ(NftablesRuleset::compile(providerSettings(), constants()),
              "table inet corvane {\n"
              "  flags owner;\n"
              "  set excl_tcp4 { type ipv4_addr; flags interval; elements = { 224.0.0.0/4, 255.255.255.255/32 } }\n"
              "  set excl_tcp6 { type ipv6_addr; flags interval; elements = { ff00::/8 } }\n"
              "  set excl_udp4 { type ipv4_addr; flags interval; elements = { 224.0.0.0/4, 255.255.255.255/32 } }\n"
              "  set excl_udp6 { type ipv6_addr; flags interval; elements = { ff00::/8 } }\n"
              "  set udp_declined4 { type ipv4_addr . inet_service; flags timeout; }\n"
              "  set udp_declined6 { type ipv6_addr . inet_service; flags timeout; }\n"
              "  chain out_tcp {\n"
              "    type route hook output priority mangle; policy accept;\n"
              "    meta l4proto != tcp return\n"
              "    meta mark 0x43560001 return\n"
              "    fib daddr type { local, broadcast, multicast } return\n"
              "    ip daddr @excl_tcp4 return\n"
              "    ip6 daddr @excl_tcp6 return\n"
              "    meta mark set 0x43560002\n"
              "  }\n"
              "  chain out_udp {\n"
              "    type route hook output priority mangle; policy accept;\n"
              "    meta l4proto != udp return\n"
              "    meta mark 0x43560001 return\n"
              "    fib daddr type { local, broadcast, multicast } return\n"
              "    ip daddr @excl_udp4 return\n"
              "    ip6 daddr @excl_udp6 return\n"
              "    ip saddr . udp sport @udp_declined4 return\n"
              "    ip6 saddr . udp sport @udp_declined6 return\n"
              "    meta mark set 0x43560002\n"
              "  }\n"
              "  chain divert {\n"
              "    type filter hook prerouting priority mangle; policy accept;\n"
              "    meta mark 0x43560002 meta nfproto ipv4 meta l4proto tcp tproxy ip to 127.0.0.1:40001 accept\n"
              "    meta mark 0x43560002 meta nfproto ipv6 meta l4proto tcp tproxy ip6 to [::1]:40001 accept\n"
              "    meta mark 0x43560002 meta nfproto ipv4 meta l4proto udp tproxy ip to 127.0.0.1:40002 accept\n"
              "    meta mark 0x43560002 meta nfproto ipv6 meta l4proto udp tproxy ip6 to [::1]:40002 accept\n"
              "  }\n"
              "}\n");
}

// The lines of one chain between its header and its closing brace.
std::string chainBody(const std::string& table, const std::string& chain) {
    const auto start = table.find("  chain " + chain + " {\n");
    const auto end = table.find("  }\n", start);
    return table.substr(start, end - start);
}

TEST(NftablesRuleset, PortsNetworksAndProtocolsBecomeLinesOfTheirChains) {
    TransparentProxyNetworkSettings settings;
    auto local = rule(Protocol::tcp, HostEndpoint{"10.9.0.0", "0"}, 16);
    local.localNetwork = HostEndpoint{"10.1.2.3", "0"};
    local.localPrefix = 24;
    settings.excludedNetworkRules = {rule(Protocol::any, HostEndpoint{"10.1.2.3", "53"}, 8), local,
                                     rule(Protocol::udp, HostEndpoint{"2001:db8::1", "0"}, 32)};
    settings.includedNetworkRules = {rule(Protocol::any, HostEndpoint{"fd00:18::10", "443"}, 128),
                                     rule(Protocol::tcp, HostEndpoint{"198.18.0.0", "0"}, 15)};
    const auto table = NftablesRuleset::compile(settings, constants());
    EXPECT_NE(table.find("  set excl_udp6 { type ipv6_addr; flags interval; elements = { 2001:db8::/32 } }\n"),
              std::string::npos);
    EXPECT_NE(table.find("  set excl_tcp4 { type ipv4_addr; flags interval; }\n"), std::string::npos);
    const auto tcp = chainBody(table, "out_tcp");
    EXPECT_NE(tcp.find("    ip6 daddr @excl_tcp6 return\n"
                       "    ip daddr 10.0.0.0/8 th dport 53 return\n"
                       "    ip daddr 10.9.0.0/16 ip saddr 10.1.2.0/24 return\n"
                       "    ip6 daddr fd00:18::10/128 th dport 443 meta mark set 0x43560002\n"
                       "    ip daddr 198.18.0.0/15 meta mark set 0x43560002\n"),
              std::string::npos)
        << tcp;
    const auto udp = chainBody(table, "out_udp");
    EXPECT_NE(udp.find("    ip6 daddr @excl_udp6 return\n"
                       "    ip daddr 10.0.0.0/8 th dport 53 return\n"
                       "    ip saddr . udp sport @udp_declined4 return\n"
                       "    ip6 saddr . udp sport @udp_declined6 return\n"
                       "    ip6 daddr fd00:18::10/128 th dport 443 meta mark set 0x43560002\n"),
              std::string::npos)
        << udp;
    EXPECT_EQ(udp.find("198.18"), std::string::npos);
    EXPECT_EQ(udp.find("10.9.0.0"), std::string::npos);
}

TEST(NftablesRuleset, RejectsRulesTheDiversionCannotExpress) {
    auto inbound = rule(Protocol::tcp);
    inbound.direction = NetworkRule::Direction::inbound;
    auto either = rule(Protocol::udp);
    either.direction = NetworkRule::Direction::any;
    auto mixed = rule(Protocol::tcp, HostEndpoint{"10.0.0.0", "0"}, 8);
    mixed.localNetwork = HostEndpoint{"fd00::", "0"};
    mixed.localPrefix = 8;
    const std::vector<std::pair<NetworkRule, std::string>> cases = {
        {inbound, "Inbound rules are not supported"},
        {either, "Inbound rules are not supported"},
        {rule(Protocol::tcp, HostEndpoint{"example.com", "0"}, 8),
         "Network rule address \"example.com\" is not an IP address"},
        {rule(Protocol::tcp, HostEndpoint{"fe80::1%eth0", "0"}, 64),
         "Network rule address \"fe80::1%eth0\" is not an IP address"},
        {rule(Protocol::tcp, HostEndpoint{"10.0.0.0", "0"}, 33), "Network rule prefix 33 is out of range for 10.0.0.0"},
        {rule(Protocol::tcp, HostEndpoint{"::", "0"}, 129), "Network rule prefix 129 is out of range for ::"},
        {rule(Protocol::tcp, HostEndpoint{"10.0.0.0", "0"}, -1), "Network rule prefix -1 is out of range for 10.0.0.0"},
        {rule(Protocol::tcp, HostEndpoint{"10.0.0.0", "65536"}, 8), "Network rule port \"65536\" is not a port number"},
        {rule(Protocol::tcp, HostEndpoint{"10.0.0.0", ""}, 8), "Network rule port \"\" is not a port number"},
        {mixed, "Network rule mixes an IPv4 and an IPv6 network"},
    };
    for (const auto& [bad, message] : cases) {
        for (const bool excluded : {false, true}) {
            TransparentProxyNetworkSettings settings;
            (excluded ? settings.excludedNetworkRules : settings.includedNetworkRules).push_back(bad);
            try {
                NftablesRuleset::compile(settings, constants());
                ADD_FAILURE() << "accepted: " << message;
            } catch (const NftablesRuleset::Error& error) {
                EXPECT_EQ(std::string(error.what()), message);
            }
        }
    }
}

TEST(NftablesRuleset, ReplacesAndRemovesTheTableAndTimesDeclinedSockets) {
    const auto c = constants();
    EXPECT_EQ(NftablesRuleset::replacement("table inet corvane {}\n", c),
              "add table inet corvane { flags owner; }\ndelete table inet corvane\ntable inet corvane {}\n");
    EXPECT_EQ(NftablesRuleset::removal(c), "delete table inet corvane\n");
    // Declined sources of both families, in one transaction.
    const std::vector<SocketAddress> sources = {*SocketAddress::fromText("10.203.0.1", 5353),
                                                *SocketAddress::fromText("fd00:203::1", 40000),
                                                *SocketAddress::fromText("10.203.0.2", 9)};
    EXPECT_EQ(NftablesRuleset::declinedElements(sources, 120, c),
              "add element inet corvane udp_declined4 { 10.203.0.1 . 5353 timeout 120s, 10.203.0.2 . 9 timeout 120s }\n"
              "add element inet corvane udp_declined6 { fd00:203::1 . 40000 timeout 120s }\n");
    EXPECT_EQ(NftablesRuleset::declinedElements({}, 120, c), "");
}

}  // namespace
}  // namespace corvane::platform
