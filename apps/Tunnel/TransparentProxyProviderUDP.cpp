#include "Tunnel/TransparentProxyProvider.hpp"

namespace corvane::tunnel {
namespace {

constexpr std::uint16_t kDNSPort = 53;

// Which source the interception mode is asked for. On Linux every program
// resolves names itself, so a flow that begins with a query to port 53 is
// treated as the system resolver's for that choice alone: snooping its
// answers for names. Its rules are still those of its own identity.
std::optional<std::string> modeSource(const platform::AppProxyUDPFlow& flow, const std::string& identifier,
                                      const CodeIdentity& identity) {
    if (flow.firstDestinationPort() == kDNSPort) return std::string(Profile::systemResolverIdentifier);
    if (!identity.isValid) return std::nullopt;
    return identifier;
}

}  // namespace

bool TransparentProxyProvider::handleUDPFlow(const std::shared_ptr<platform::AppProxyUDPFlow>& flow) {
    std::shared_ptr<const RuleEngine> engine;
    {
        std::lock_guard guard(stateLock_);
        engine = engine_;
    }
    const std::string identifier = flow->metaData().sourceAppSigningIdentifier;
    const CodeSignatureResolver::Resolution resolution = signatures_.resolve(flow->metaData().sourceAppAuditToken);
    const UDPInterception mode = engine->profile.udpInterception(modeSource(*flow, identifier, resolution.identity));
    if (mode == UDPInterception::decline) return false;

    const UUID id = UUID::random();
    std::weak_ptr<TransparentProxyProvider> weak = weak_from_this();
    platform::ProviderHost& system = host();
    auto relay = std::make_shared<UDPFlowRelay>(UDPFlowRelay::Settings{
        flow,
        engine,
        mode,
        identifier,
        hostnameCache_,
        system.executor(),
        environment_.clock,
        [&system](int socket) { return system.prepareOutboundSocket(socket); },
        [weak, id, identifier, resolution](const std::string& target, const std::string& proxyName) {
            if (auto self = weak.lock()) self->appendUDPRecord(id, identifier, resolution, target, proxyName);
        },
        [weak, id](std::uint64_t bytesSent, std::uint64_t bytesReceived) {
            if (auto self = weak.lock()) self->finishUDPRelay(id, bytesSent, bytesReceived);
        },
        resolution.path,
        resolution.identity});
    bool stopped = false;
    {
        std::lock_guard guard(stateLock_);
        stopped = stopped_;
        if (!stopped) udpRelays_[id] = relay;
    }
    if (stopped) return false;
    relay->start();
    return true;
}

void TransparentProxyProvider::appendUDPRecord(const UUID& id, const std::string& appIdentifier,
                                               const CodeSignatureResolver::Resolution& resolution,
                                               const std::string& target, const std::string& proxyName) {
    ConnectionRecord record{id,
                            environment_.clock(),
                            appIdentifier.empty() ? "?" : appIdentifier,
                            resolution.path,
                            resolution.identity,
                            target,
                            TransportProtocol::udp,
                            "Proxy: " + proxyName,
                            std::nullopt,
                            ConnectionStatus::active,
                            0,
                            0};
    std::lock_guard guard(stateLock_);
    // A relay that has already ended leaves no record that would stay active.
    if (!udpRelays_.contains(id)) return;
    appendRecordLocked(std::move(record));
}

void TransparentProxyProvider::finishUDPRelay(const UUID& id, std::uint64_t bytesSent, std::uint64_t bytesReceived) {
    {
        std::lock_guard guard(stateLock_);
        udpRelays_.erase(id);
    }
    updateRecord(id, [&](ConnectionRecord& record) {
        record.status = ConnectionStatus::closed;
        record.bytesSent = bytesSent;
        record.bytesReceived = bytesReceived;
    });
}

}  // namespace corvane::tunnel
