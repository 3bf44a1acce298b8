#pragma once

#include "CorvaneCore/Models/ProxyCredentials.hpp"
#include "CorvaneCore/Models/ProxyProtocol.hpp"
#include "CorvaneCore/Support/JsonReader.hpp"
#include "CorvaneCore/Support/UUID.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace corvane {

// One upstream proxy. Rules and the default action name it by `id`.
struct ProxyServer {
    UUID id;
    std::string name;
    ProxyProtocol kind = ProxyProtocol::socks5;
    std::string host;  // host name or IP literal
    std::uint16_t port = 0;
    std::optional<ProxyCredentials> credentials;
    // Stored and edited; no routing behaviour reads it.
    bool resolvesHostnamesRemotely = false;

    // host + ":" + port, without brackets around an IPv6 literal.
    std::string endpointDescription() const;

    static ProxyServer fromJson(const json::Json& value);
    friend bool operator==(const ProxyServer&, const ProxyServer&) = default;
};

json::Json toJson(const ProxyServer& proxy);

}  // namespace corvane

template <>
struct std::hash<corvane::ProxyServer> {
    std::size_t operator()(const corvane::ProxyServer& proxy) const noexcept;
};
