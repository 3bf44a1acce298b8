#pragma once

#include "CorvaneCore/Models/ProxyServer.hpp"
#include "CorvaneCore/Models/Rule.hpp"
#include "CorvaneCore/Models/RuleAction.hpp"
#include "CorvaneCore/Support/JsonReader.hpp"
#include "CorvaneCore/Support/UUID.hpp"

#include <vector>

namespace corvane {

// The whole routing configuration. Identifiers need not be unique and actions
// may name proxies that do not exist: validation reports such profiles.
struct Profile {
    std::vector<ProxyServer> proxies;
    std::vector<Rule> rules;  // in evaluation order
    RuleAction defaultAction;

    // No proxies, no rules, default action direct.
    static const Profile empty;

    // The first proxy with this identifier, or nullptr.
    const ProxyServer* proxy(const UUID& id) const;

    static Profile fromJson(const json::Json& value);
    friend bool operator==(const Profile&, const Profile&) = default;
};

inline constinit const Profile Profile::empty{};

json::Json toJson(const Profile& profile);

}  // namespace corvane
