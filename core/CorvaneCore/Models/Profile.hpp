#pragma once

#include "CorvaneCore/Engine/UDPInterception.hpp"
#include "CorvaneCore/Models/ProxyServer.hpp"
#include "CorvaneCore/Models/Rule.hpp"
#include "CorvaneCore/Models/RuleAction.hpp"
#include "CorvaneCore/Support/JsonReader.hpp"
#include "CorvaneCore/Support/UUID.hpp"

#include <map>
#include <optional>
#include <string>
#include <string_view>
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

    // Proxy passwords travel apart from the stored profile, as a map from a
    // proxy's id text (upper-case, compared exactly) to its password. Only
    // proxies with credentials take part.
    using CredentialSecrets = std::map<std::string, std::string>;
    // Every password of a proxy with credentials set to the empty text.
    Profile strippingCredentialSecrets() const;
    // The non-empty passwords; a later proxy with the same id wins.
    CredentialSecrets credentialSecrets() const;
    // Every proxy with credentials whose id text is a key gets that password,
    // even an empty one.
    Profile hydratingCredentialSecrets(const CredentialSecrets& secrets) const;

    // The profile of a first start: one enabled direct rule for local and
    // private networks, no proxies, default action direct.
    static Profile makeDefault();

    // The signing identifier of the system's DNS resolver: on Linux the name
    // of the verified systemd-resolved executable. The daemon also asks for
    // the interception mode of a flow that begins with a query to port 53 as
    // this identifier's, since every Linux program resolves names itself; its
    // rules stay those of its own identity.
    static constexpr std::string_view systemResolverIdentifier = "systemd-resolved";

    // Whether the default action, or an enabled rule that applies to UDP,
    // names at least one proxy (existing or not).
    bool couldRouteUDPThroughProxy() const;
    // How the daemon treats a new UDP flow from this source application
    // (defined with UDPInterception).
    UDPInterception udpInterception(const std::optional<std::string>& sourceApp) const;

    static Profile fromJson(const json::Json& value);
    friend bool operator==(const Profile&, const Profile&) = default;
};

inline constinit const Profile Profile::empty{};

json::Json toJson(const Profile& profile);

}  // namespace corvane
