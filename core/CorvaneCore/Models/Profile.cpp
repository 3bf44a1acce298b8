#include "CorvaneCore/Models/Profile.hpp"

#include <algorithm>

namespace corvane {
namespace {

template <class T>
std::vector<T> readList(const json::Json& object, std::string_view key) {
    const json::Json& array = json::requireArray(json::require(object, key), key);
    std::vector<T> items;
    items.reserve(array.size());
    for (const json::Json& item : array) items.push_back(T::fromJson(item));
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

Profile Profile::fromJson(const json::Json& value) {
    json::requireObject(value, "profile");
    return Profile{
        .proxies = readList<ProxyServer>(value, "proxies"),
        .rules = readList<Rule>(value, "rules"),
        .defaultAction = RuleAction::fromJson(json::require(value, "defaultAction")),
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
