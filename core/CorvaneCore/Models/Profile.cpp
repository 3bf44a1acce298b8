#include "CorvaneCore/Models/Profile.hpp"

#include <algorithm>

namespace corvane {
namespace {

template <class T>
std::vector<T> readList(const json::Json& object, std::string_view key) {
    const json::Json& array = json::requireArray(json::require(object, key), key);
    std::vector<T> items;
    items.reserve(array.size());
    json::inside(key, [&] {
        for (const json::Json& item : array)
            items.push_back(json::inside(items.size(), [&] { return T::fromJson(item); }));
    });
    return items;
}

template <class T>
json::Json jsonList(const std::vector<T>& items) {
    json::Json array = json::Json::array();
    for (const T& item : items) array.push_back(toJson(item));
    return array;
}

}  // namespace

const ProxyServer* Profile::proxy(const UUID& id) const {
    const auto it = std::find_if(proxies.begin(), proxies.end(), [&](const ProxyServer& p) { return p.id == id; });
    return it == proxies.end() ? nullptr : &*it;
}

Profile Profile::strippingCredentialSecrets() const {
    Profile stripped = *this;
    for (ProxyServer& proxy : stripped.proxies) {
        if (proxy.credentials) proxy.credentials->password.clear();
    }
    return stripped;
}

Profile::CredentialSecrets Profile::credentialSecrets() const {
    CredentialSecrets secrets;
    for (const ProxyServer& proxy : proxies) {
        if (proxy.credentials && !proxy.credentials->password.empty())
            secrets[proxy.id.toString()] = proxy.credentials->password;
    }
    return secrets;
}

Profile Profile::hydratingCredentialSecrets(const CredentialSecrets& secrets) const {
    Profile hydrated = *this;
    for (ProxyServer& proxy : hydrated.proxies) {
        if (!proxy.credentials) continue;
        const auto it = secrets.find(proxy.id.toString());
        if (it != secrets.end()) proxy.credentials->password = it->second;
    }
    return hydrated;
}

Profile Profile::makeDefault() {
    Rule local;
    local.id = UUID::random();
    local.name = "Local & private networks";
    local.hosts = {"localhost",      "*.local",        "127.0.0.0/8", "10.0.0.0/8", "172.16.0.0/12",
                   "192.168.0.0/16", "169.254.0.0/16", "::1/128",     "fe80::/10"};
    local.action = RuleAction::direct();
    Profile profile;
    profile.rules = {std::move(local)};
    return profile;
}

Profile Profile::fromJson(const json::Json& value) {
    json::requireObject(value, "profile");
    return Profile{
        .proxies = readList<ProxyServer>(value, "proxies"),
        .rules = readList<Rule>(value, "rules"),
        .defaultAction = json::requiredPart<RuleAction>(value, "defaultAction"),
    };
}

json::Json toJson(const Profile& profile) {
    json::Json out = json::Json::object();
    out["proxies"] = jsonList(profile.proxies);
    out["rules"] = jsonList(profile.rules);
    out["defaultAction"] = toJson(profile.defaultAction);
    return out;
}

}  // namespace corvane
