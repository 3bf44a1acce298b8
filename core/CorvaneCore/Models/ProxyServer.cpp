#include "CorvaneCore/Models/ProxyServer.hpp"

#include "CorvaneCore/Support/HashCombine.hpp"

namespace corvane {
namespace {

ProxyProtocol readKind(const json::Json& object) {
    const auto kind = proxyProtocolFromString(json::required<std::string>(object, "kind"));
    if (!kind) throw JsonDecodeError("“kind”: expected “socks5” or “httpConnect”.");
    return *kind;
}

}  // namespace

std::string ProxyServer::endpointDescription() const {
    return host + ":" + std::to_string(port);
}

ProxyServer ProxyServer::fromJson(const json::Json& value) {
    json::requireObject(value, "proxy");
    return ProxyServer{
        .id = json::required<UUID>(value, "id"),
        .name = json::required<std::string>(value, "name"),
        .kind = readKind(value),
        .host = json::required<std::string>(value, "host"),
        .port = json::required<std::uint16_t>(value, "port"),
        .credentials = json::optionalPart<ProxyCredentials>(value, "credentials"),
        .resolvesHostnamesRemotely = json::required<bool>(value, "resolvesHostnamesRemotely"),
    };
}

json::Json toJson(const ProxyServer& proxy) {
    json::Json out = json::Json::object();
    out["id"] = proxy.id.toString();
    out["name"] = proxy.name;
    out["kind"] = toString(proxy.kind);
    out["host"] = proxy.host;
    out["port"] = proxy.port;
    if (proxy.credentials) out["credentials"] = toJson(*proxy.credentials);
    out["resolvesHostnamesRemotely"] = proxy.resolvesHostnamesRemotely;
    return out;
}

}  // namespace corvane

std::size_t std::hash<corvane::ProxyServer>::operator()(const corvane::ProxyServer& proxy) const noexcept {
    std::size_t seed = 0;
    corvane::hashCombine(seed, proxy.id);
    corvane::hashCombine(seed, proxy.name);
    corvane::hashCombine(seed, proxy.kind);
    corvane::hashCombine(seed, proxy.host);
    corvane::hashCombine(seed, proxy.port);
    corvane::hashCombine(seed, proxy.credentials);
    corvane::hashCombine(seed, proxy.resolvesHostnamesRemotely);
    return seed;
}
