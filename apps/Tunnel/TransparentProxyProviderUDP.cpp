#include "Tunnel/TransparentProxyProvider.hpp"

namespace corvane::tunnel {

bool TransparentProxyProvider::handleUDPFlow(const std::shared_ptr<platform::AppProxyUDPFlow>& flow) {
    std::shared_ptr<const RuleEngine> engine;
    {
        std::lock_guard guard(stateLock_);
        engine = engine_;
    }
    const std::string identifier = flow->metaData().sourceAppSigningIdentifier;
    const UDPInterception mode = engine->profile.udpInterception(identifier);
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
        [weak, id, identifier](const std::string& target, const std::string& proxyName) {
            if (auto self = weak.lock()) self->appendUDPRecord(id, identifier, target, proxyName);
        },
        [weak, id](std::uint64_t bytesSent, std::uint64_t bytesReceived) {
            if (auto self = weak.lock()) self->finishUDPRelay(id, bytesSent, bytesReceived);
        }});
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
                                               const std::string& target, const std::string& proxyName) {
    ConnectionRecord record{id,
                            environment_.clock(),
                            appIdentifier.empty() ? "?" : appIdentifier,
                            std::nullopt,
                            std::nullopt,
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
