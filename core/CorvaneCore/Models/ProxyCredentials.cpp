#include "CorvaneCore/Models/ProxyCredentials.hpp"

#include "CorvaneCore/Support/HashCombine.hpp"

namespace corvane {

ProxyCredentials ProxyCredentials::fromJson(const json::Json& value) {
    json::requireObject(value, "credentials");
    return ProxyCredentials{
        .username = json::required<std::string>(value, "username"),
        .password = json::required<std::string>(value, "password"),
    };
}

json::Json toJson(const ProxyCredentials& credentials) {
    return json::Json{{"username", credentials.username}, {"password", credentials.password}};
}

}  // namespace corvane

std::size_t std::hash<corvane::ProxyCredentials>::operator()(
    const corvane::ProxyCredentials& credentials) const noexcept {
    std::size_t seed = 0;
    corvane::hashCombine(seed, credentials.username);
    corvane::hashCombine(seed, credentials.password);
    return seed;
}
