#include "CorvaneCore/Models/RuleAction.hpp"

#include "CorvaneCore/Support/HashCombine.hpp"

#include <array>
#include <string_view>

namespace corvane {
namespace {

constexpr std::array<std::string_view, 5> caseNames{"direct", "block", "proxy", "chain", "failover"};

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
// Spelled out for compilers without deduction for aggregates (clang before 17).
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

std::vector<UUID> readIDs(const json::Json& payload) {
    const json::Json& array = json::requireArray(json::require(payload, "ids"), "ids");
    std::vector<UUID> ids;
    ids.reserve(array.size());
    json::inside("ids", [&] {
        for (const json::Json& id : array)
            ids.push_back(json::inside(ids.size(), [&] { return json::asUUID(id, "ids"); }));
    });
    return ids;
}

RuleAction readCase(RuleAction::Kind kind, const json::Json& payload) {
    switch (kind) {
        case RuleAction::Kind::direct: return RuleAction::direct();
        case RuleAction::Kind::block: return RuleAction::block();
        case RuleAction::Kind::proxy: return RuleAction::proxy(json::required<UUID>(payload, "id"));
        case RuleAction::Kind::chain: return RuleAction::chain(readIDs(payload));
        case RuleAction::Kind::failover: break;
    }
    return RuleAction::failover(readIDs(payload));
}

json::Json idsJson(const std::vector<UUID>& ids) {
    json::Json array = json::Json::array();
    for (const UUID& id : ids) array.push_back(id.toString());
    return json::Json{{"ids", std::move(array)}};
}

// The one case key of an action object; none or several is an error.
std::size_t caseIndex(const json::Json& object) {
    std::size_t found = caseNames.size();
    std::size_t count = 0;
    for (std::size_t index = 0; index < caseNames.size(); ++index) {
        if (object.contains(caseNames[index])) {
            found = index;
            ++count;
        }
    }
    if (count != 1) throw JsonDecodeError("Invalid number of keys found, expected one.");
    return found;
}

}  // namespace

std::vector<UUID> RuleAction::proxyIDs() const {
    return std::visit(Overloaded{
                          [](const Proxy& p) { return std::vector<UUID>{p.id}; },
                          [](const Chain& c) { return c.ids; },
                          [](const Failover& f) { return f.ids; },
                          [](const auto&) { return std::vector<UUID>{}; },
                      },
                      value_);
}

RuleAction RuleAction::fromJson(const json::Json& value) {
    json::requireObject(value, "action");
    const std::size_t index = caseIndex(value);
    const json::Json& payload = json::requireObject(value.at(caseNames[index]), caseNames[index]);
    return json::inside(caseNames[index], [&] { return readCase(static_cast<Kind>(index), payload); });
}

json::Json toJson(const RuleAction& action) {
    const std::string key(caseNames[action.value().index()]);
    json::Json payload = std::visit(Overloaded{
                                        [](const RuleAction::Proxy& p) { return json::Json{{"id", p.id.toString()}}; },
                                        [](const RuleAction::Chain& c) { return idsJson(c.ids); },
                                        [](const RuleAction::Failover& f) { return idsJson(f.ids); },
                                        [](const auto&) { return json::Json::object(); },
                                    },
                                    action.value());
    return json::Json{{key, std::move(payload)}};
}

}  // namespace corvane

std::size_t std::hash<corvane::RuleAction>::operator()(const corvane::RuleAction& action) const noexcept {
    std::size_t seed = action.value().index();
    corvane::hashCombine(seed, corvane::hashRange(action.proxyIDs()));
    return seed;
}
