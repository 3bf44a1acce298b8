#pragma once

#include "CorvaneCore/Models/PortRange.hpp"
#include "CorvaneCore/Models/RuleAction.hpp"
#include "CorvaneCore/Models/RuleMatchMode.hpp"
#include "CorvaneCore/Models/TransportProtocol.hpp"
#include "CorvaneCore/Support/JsonReader.hpp"
#include "CorvaneCore/Support/UUID.hpp"

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace corvane {

// One routing rule. Disabled rules are skipped by the engine but still validated.
struct Rule {
    UUID id;
    std::string name;
    bool isEnabled = true;
    std::vector<std::string> applications;  // bundle id or path globs, "team:" entries
    std::vector<std::string> hosts;         // host globs, IP addresses, CIDR networks
    std::vector<PortRange> ports;           // empty: any port
    std::set<TransportProtocol> transports; // empty: both
    RuleAction action;
    RuleMatchMode matchMode = RuleMatchMode::all;

    static Rule fromJson(const json::Json& value);
    friend bool operator==(const Rule&, const Rule&) = default;
};

json::Json toJson(const Rule& rule);

}  // namespace corvane

template <>
struct std::hash<corvane::Rule> {
    std::size_t operator()(const corvane::Rule& rule) const noexcept;
};
