#include "CorvaneCore/Models/ProxyProtocol.hpp"

namespace corvane {

std::string_view toString(ProxyProtocol kind) {
    return kind == ProxyProtocol::socks5 ? "socks5" : "httpConnect";
}

std::optional<ProxyProtocol> proxyProtocolFromString(std::string_view text) {
    for (ProxyProtocol kind : allProxyProtocols) {
        if (toString(kind) == text) return kind;
    }
    return std::nullopt;
}

std::string_view displayName(ProxyProtocol kind) {
    return kind == ProxyProtocol::socks5 ? "SOCKS5" : "HTTPS (CONNECT)";
}

}  // namespace corvane
