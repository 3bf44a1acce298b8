#pragma once

#include "CorvaneCore/Engine/FlowSource.hpp"
#include "CorvaneCore/Matching/IPAddressValue.hpp"
#include "CorvaneCore/Models/CodeIdentity.hpp"
#include "CorvaneCore/Models/TransportProtocol.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// All that the rule engine sees of one flow.
struct FlowDescriptor {
    std::optional<std::string> appIdentifier{};  // the signing identifier the system reports
    std::optional<std::string> appPath{};        // the executable's path
    std::optional<CodeIdentity> appIdentity{};   // absent when not established at all
    std::optional<std::string> remoteHostname{};
    std::optional<IPAddressValue> remoteAddress{};
    std::uint16_t remotePort = 0;
    TransportProtocol transport = TransportProtocol::tcp;

    // A flow described by typed text: a host that is an IP literal becomes
    // the address, anything else (even empty) the host name.
    static FlowDescriptor make(std::optional<std::string> appIdentifier, std::optional<std::string> appPath,
                               std::string_view host, std::uint16_t port, TransportProtocol transport);

    // The flow the daemon describes for a program, with all it knows of the
    // source, over either transport. The daemon's dispatch and the simulator
    // both build their descriptors here, so they match alike.
    static FlowDescriptor of(const FlowSource& source, std::optional<std::string> hostname,
                             std::optional<IPAddressValue> address, std::uint16_t port, TransportProtocol transport);
    // The same with the destination typed as text, split as `make` splits it.
    static FlowDescriptor of(const FlowSource& source, std::string_view host, std::uint16_t port,
                             TransportProtocol transport);

    // The texts application patterns are matched against, in order: the
    // identifier (unless the identity failed verification), the path, and
    // "team:" with the signing team of a valid identity.
    std::vector<std::string> applicationMatchCandidates() const;

    // Calls `visit` with each candidate in order until it returns true;
    // whether one did. The allocation-free form of the list above.
    template <class Visit>
    bool anyApplicationCandidate(Visit&& visit) const;

    // The host name, else the address, else "?"; then ":" and the port.
    std::string targetDescription() const;

    friend bool operator==(const FlowDescriptor&, const FlowDescriptor&) = default;
};

template <class Visit>
bool FlowDescriptor::anyApplicationCandidate(Visit&& visit) const {
    const bool verified = appIdentity && appIdentity->isValid;
    if (appIdentifier && (!appIdentity || verified) && visit(std::string_view(*appIdentifier))) return true;
    if (appPath && visit(std::string_view(*appPath))) return true;
    if (verified && appIdentity->teamIdentifier) {
        const std::string team = CodeIdentity::teamPattern(*appIdentity->teamIdentifier);
        if (visit(std::string_view(team))) return true;
    }
    return false;
}

}  // namespace corvane
