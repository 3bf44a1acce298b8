#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "CorvaneCore/DNS/DNSQueryTracker.hpp"
#include "CorvaneCore/DNS/HostnameCache.hpp"
#include "CorvaneCore/Engine/RuleEngine.hpp"
#include "CorvaneCore/Engine/UDPInterception.hpp"
#include "CorvaneCore/Proxy/UDPAssociation.hpp"
#include "CorvaneCore/Support/UUID.hpp"
#include "platform/AppProxyUDPFlow.hpp"
#include "platform/Clock.hpp"
#include "platform/Error.hpp"

namespace corvane::tunnel {

// Relays one application's UDP socket: each datagram goes out directly on a socket
// per destination or through a SOCKS5 association per proxy (queued until it is up),
// or is dropped, by the rules of the engine the flow arrived with. The answers to the
// DNS queries the flow sent to port 53 feed the host-name cache, for the flow's user
// only; a flow whose owner is unknown teaches nothing.
class UDPFlowRelay : public std::enable_shared_from_this<UDPFlowRelay> {
public:
    struct Counters {
        std::uint64_t bytesSent = 0;
        std::uint64_t bytesReceived = 0;
    };
    using ProxiedHandler = std::function<void(const std::string& target, const std::string& proxyName)>;
    using CloseHandler = std::function<void(std::uint64_t bytesSent, std::uint64_t bytesReceived)>;
    // Marks a socket of the relay so that the diversion skips it.
    using SocketPreparation = std::function<platform::Error(int nativeSocket)>;

    // Datagrams beyond these per group are dropped while its association is set up.
    static constexpr std::size_t kMaximumPendingDatagrams = 64;
    static constexpr std::size_t kMaximumPendingBytes = 256 * 1024;
    // Direct destinations kept open at once; the oldest is closed to make room.
    static constexpr std::size_t kMaximumDirectConnections = 256;

    struct Settings {
        std::shared_ptr<platform::AppProxyUDPFlow> flow;
        std::shared_ptr<const RuleEngine> engine;
        UDPInterception mode = UDPInterception::routed;
        std::optional<std::string> appIdentifier;
        std::shared_ptr<HostnameCache> hostnameCache;
        asio::any_io_executor executor;
        platform::Clock clock;
        SocketPreparation prepareSocket;
        ProxiedHandler onProxied;
        CloseHandler onClose;
    };

    explicit UDPFlowRelay(Settings settings);

    // Opens the flow and starts reading; returns at once.
    void start();
    // Ends the relay once: closes every socket and association and the flow.
    void finish();

    Counters counters() const;

private:
    struct DirectConnection;
    struct PendingDatagram {
        platform::Bytes payload;
        std::string host;
        std::uint16_t port = 0;
    };
    struct PendingQueue {
        std::deque<PendingDatagram> datagrams;
        std::size_t bytes = 0;
    };

    void readDatagrams();
    void route(platform::Bytes datagram, const platform::Endpoint& endpoint);
    bool reportProxying(const std::string& target, const std::string& proxyName, std::size_t length);
    void sendDirectly(platform::Bytes datagram, const std::string& host, std::uint16_t port,
                      const platform::Endpoint& endpoint);
    std::shared_ptr<DirectConnection> openDirect(const std::string& host, std::uint16_t port,
                                                 const platform::Endpoint& endpoint);
    void receiveDirect(const std::string& key, std::shared_ptr<DirectConnection> connection);
    void dropDirect(const std::string& key, const std::shared_ptr<DirectConnection>& connection);
    void sendThroughAssociation(platform::Bytes datagram, const std::string& host, std::uint16_t port,
                                const UUID& group, std::vector<ProxyServer> candidates);
    void dropAssociation(const UUID& group, const std::shared_ptr<UDPAssociation>& association);
    // Remembers a DNS query on its way to `host`:`port`.
    void noteDNSQuery(const std::string& host, std::uint16_t port, const platform::Bytes& payload);
    // Learns from a DNS response from `host`:`port` that answers a remembered query.
    void absorbIfDNS(const std::string& host, std::uint16_t port, const platform::Bytes& payload);

    static asio::awaitable<void> establish(std::weak_ptr<UDPFlowRelay> weak, UUID group,
                                           std::vector<ProxyServer> candidates, asio::any_io_executor executor);
    static asio::awaitable<void> receiveFromAssociation(std::weak_ptr<UDPFlowRelay> weak, UUID group,
                                                        std::shared_ptr<UDPAssociation> association);
    static asio::awaitable<void> watchControl(std::weak_ptr<UDPFlowRelay> weak, UUID group,
                                              std::shared_ptr<UDPAssociation> association);
    static asio::awaitable<void> sendQueued(std::shared_ptr<UDPAssociation> association,
                                            std::deque<PendingDatagram> datagrams);

    Settings settings_;
    asio::any_io_executor strand_;
    // Whose program the flow belongs to; the names its DNS answers teach are theirs.
    std::optional<HostnameCache::User> user_;

    mutable std::mutex lock_;
    bool reportedProxying_ = false;
    std::map<UUID, std::shared_ptr<UDPAssociation>> associations_;
    std::map<UUID, PendingQueue> pending_;
    std::set<UUID> establishing_;
    std::map<std::string, std::shared_ptr<DirectConnection>> directConnections_;
    std::deque<std::string> directOrder_;  // keys of directConnections_, oldest first
    bool finished_ = false;
    Counters counters_;
    DNSQueryTracker dnsQueries_;
};

}  // namespace corvane::tunnel
