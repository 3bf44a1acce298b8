#include "CorvaneCore/Engine/FlowDescriptor.hpp"

#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane {

FlowDescriptor FlowDescriptor::make(std::optional<std::string> appIdentifier, std::optional<std::string> appPath,
                                    std::string_view host, std::uint16_t port, TransportProtocol transport) {
    FlowDescriptor flow{.appIdentifier = std::move(appIdentifier),
                        .appPath = std::move(appPath),
                        .remotePort = port,
                        .transport = transport};
    const std::string_view trimmed = unicode::trimmed(host);
    if (auto address = IPAddressValue::fromString(trimmed)) flow.remoteAddress = *address;
    else flow.remoteHostname = std::string(trimmed);
    return flow;
}

FlowDescriptor FlowDescriptor::of(const FlowSource& source, std::optional<std::string> hostname,
                                  std::optional<IPAddressValue> address, std::uint16_t port,
                                  TransportProtocol transport) {
    return FlowDescriptor{.appIdentifier = source.identifier,
                          .appPath = source.path,
                          .appIdentity = source.identity,
                          .remoteHostname = std::move(hostname),
                          .remoteAddress = address,
                          .remotePort = port,
                          .transport = transport};
}

FlowDescriptor FlowDescriptor::of(const FlowSource& source, std::string_view host, std::uint16_t port,
                                  TransportProtocol transport) {
    const FlowDescriptor typed = make(std::nullopt, std::nullopt, host, port, transport);
    return of(source, typed.remoteHostname, typed.remoteAddress, port, transport);
}

std::vector<std::string> FlowDescriptor::applicationMatchCandidates() const {
    std::vector<std::string> candidates;
    anyApplicationCandidate([&candidates](std::string_view candidate) {
        candidates.emplace_back(candidate);
        return false;
    });
    return candidates;
}

std::string FlowDescriptor::targetDescription() const {
    std::string target = remoteHostname ? *remoteHostname : remoteAddress ? remoteAddress->description() : "?";
    return target + ":" + std::to_string(remotePort);
}

}  // namespace corvane
