#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace corvane {

// The protocol spoken to an upstream proxy.
enum class ProxyProtocol { socks5, httpConnect };

inline constexpr std::array<ProxyProtocol, 2> allProxyProtocols{ProxyProtocol::socks5, ProxyProtocol::httpConnect};

// The raw text: the case name.
std::string_view toString(ProxyProtocol kind);
std::optional<ProxyProtocol> proxyProtocolFromString(std::string_view text);
// "SOCKS5" or "HTTPS (CONNECT)".
std::string_view displayName(ProxyProtocol kind);

}  // namespace corvane
