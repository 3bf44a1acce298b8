#include "CorvaneCore/Models/Rule.hpp"

#include "CorvaneCore/Support/HashCombine.hpp"

namespace corvane {
namespace {

// An optional array key: missing or null reads as empty.
template <class Read>
auto readArray(const json::Json& object, std::string_view key, Read read) {
    std::vector<decltype(read(object))> items;
    const json::Json* array = json::find(object, key);
    if (array == nullptr) return items;
    json::requireArray(*array, key);
    items.reserve(array->size());
    json::inside(key, [&] {
        for (const json::Json& item : *array) items.push_back(json::inside(items.size(), [&] { return read(item); }));
    });
    return items;
}

std::vector<std::string> readTexts(const json::Json& object, std::string_view key) {
    return readArray(object, key, [key](const json::Json& item) { return json::asString(item, key); });
}

std::set<TransportProtocol> readTransports(const json::Json& object) {
    const auto items = readArray(object, "transports", [](const json::Json& item) {
        const auto transport = transportProtocolFromString(json::asString(item, "transports"));
        if (!transport) throw JsonDecodeError("“transports”: expected “tcp” or “udp”.");
        return *transport;
    });
    return {items.begin(), items.end()};
}

RuleMatchMode readMatchMode(const json::Json& object) {
    const auto text = json::optional<std::string>(object, "matchMode");
    if (!text) return RuleMatchMode::all;
    const auto mode = ruleMatchModeFromString(*text);
    if (!mode) throw JsonDecodeError("“matchMode”: expected “all” or “any”.");
    return *mode;
}

template <class Range, class Convert>
json::Json jsonArray(const Range& range, Convert convert) {
    json::Json array = json::Json::array();
    for (const auto& item : range) array.push_back(convert(item));
    return array;
}

}  // namespace

Rule Rule::fromJson(const json::Json& value) {
    json::requireObject(value, "rule");
    return Rule{
        .id = json::required<UUID>(value, "id"),
        .name = json::required<std::string>(value, "name"),
        .isEnabled = json::optional<bool>(value, "isEnabled").value_or(true),
        .applications = readTexts(value, "applications"),
        .hosts = readTexts(value, "hosts"),
        .ports = readArray(value, "ports", [](const json::Json& item) { return PortRange::fromJson(item); }),
        .transports = readTransports(value),
        .action = json::requiredPart<RuleAction>(value, "action"),
        .matchMode = readMatchMode(value),
    };
}

json::Json toJson(const Rule& rule) {
    json::Json out = json::Json::object();
    out["id"] = rule.id.toString();
    out["name"] = rule.name;
    out["isEnabled"] = rule.isEnabled;
    out["applications"] = rule.applications;
    out["hosts"] = rule.hosts;
    out["ports"] = jsonArray(rule.ports, [](const PortRange& range) { return toJson(range); });
    // A std::set iterates in order, so transports are written sorted.
    out["transports"] = jsonArray(rule.transports, [](TransportProtocol t) { return toString(t); });
    out["action"] = toJson(rule.action);
    out["matchMode"] = toString(rule.matchMode);
    return out;
}

}  // namespace corvane

std::size_t std::hash<corvane::Rule>::operator()(const corvane::Rule& rule) const noexcept {
    std::size_t seed = 0;
    corvane::hashCombine(seed, rule.id);
    corvane::hashCombine(seed, rule.name);
    corvane::hashCombine(seed, rule.isEnabled);
    corvane::hashCombine(seed, corvane::hashRange(rule.applications));
    corvane::hashCombine(seed, corvane::hashRange(rule.hosts));
    corvane::hashCombine(seed, corvane::hashRange(rule.ports));
    corvane::hashCombine(seed, corvane::hashRange(rule.transports));
    corvane::hashCombine(seed, rule.action);
    corvane::hashCombine(seed, rule.matchMode);
    return seed;
}
