#include "Tunnel/UDPFlowRelay.hpp"

#include <algorithm>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/ip/udp.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>

#include "CorvaneCore/DNS/DNSMessage.hpp"
#include "CorvaneCore/Proxy/ProxyClient.hpp"
#include "CorvaneCore/Proxy/SOCKS5ProtocolError.hpp"
#include "CorvaneCore/Support/StandardInteger.hpp"
#include "Tunnel/FlowEndpoint.hpp"
#include "Tunnel/FlowUser.hpp"
#include "platform/ReceiveDatagram.hpp"

namespace corvane::tunnel {

namespace {

constexpr std::uint16_t kDNSPort = 53;

// A DNS server as queries and answers name it: an address in its standard text.
DNSQueryTracker::Server dnsServer(const std::string& host, std::uint16_t port) {
    const std::optional<IPAddressValue> address = endpointAddress(host);
    return {address ? address->description() : host, port};
}

}  // namespace

// One connected UDP socket to a direct destination; replies reach the application
// as sent by the endpoint the first datagram went to. It keeps no receive buffer:
// each reply is taken when it has arrived, at its own size.
struct UDPFlowRelay::DirectConnection {
    asio::ip::udp::socket socket;
    platform::Endpoint remembered;
    std::string host;
    std::uint16_t port = 0;
};

UDPFlowRelay::UDPFlowRelay(Settings settings)
    : settings_(std::move(settings)),
      strand_(asio::make_strand(settings_.executor)),
      user_(flowUser(settings_.flow->metaData())) {}

void UDPFlowRelay::start() {
    std::weak_ptr<UDPFlowRelay> weak = weak_from_this();
    settings_.flow->open([weak](platform::Error error) {
        auto self = weak.lock();
        if (!self) return;
        if (error) return self->finish();
        self->readDatagrams();
    });
}

void UDPFlowRelay::readDatagrams() {
    std::weak_ptr<UDPFlowRelay> weak = weak_from_this();
    settings_.flow->readDatagrams([weak](std::optional<std::vector<platform::Bytes>> datagrams,
                                         std::optional<std::vector<platform::Endpoint>> endpoints,
                                         platform::Error error) {
        auto self = weak.lock();
        if (!self) return;
        if (error || !datagrams || !endpoints || datagrams->empty() || endpoints->empty()) return self->finish();
        const std::size_t count = std::min(datagrams->size(), endpoints->size());
        for (std::size_t i = 0; i < count; ++i) self->route(std::move((*datagrams)[i]), (*endpoints)[i]);
        self->readDatagrams();
    });
}

void UDPFlowRelay::route(platform::Bytes datagram, const platform::Endpoint& endpoint) {
    const platform::HostEndpoint* destination = platform::hostEndpoint(endpoint);
    if (!destination) return;
    const auto port = parseStandardInteger<std::uint16_t>(destination->port);
    if (!port) return;
    if (settings_.mode == UDPInterception::snoopDNSOnly) {
        return sendDirectly(std::move(datagram), destination->hostname, *port, endpoint);
    }

    const std::optional<IPAddressValue> address = endpointAddress(destination->hostname);
    const std::string host = address ? address->description() : destination->hostname;
    const std::optional<std::string> hostname = address ? std::nullopt : std::optional(destination->hostname);
    const FlowSource source{settings_.appIdentifier, settings_.appPath, settings_.appIdentity};
    const FlowDescriptor descriptor = FlowDescriptor::of(source, hostname, address, *port, TransportProtocol::udp);
    const RuleEngine::Verdict verdict = settings_.engine->verdict(descriptor);
    const Profile& profile = settings_.engine->profile;
    const std::string target = host + ":" + std::to_string(*port) + " (UDP)";

    switch (verdict.action.kind()) {
    case RuleAction::Kind::direct:
        return sendDirectly(std::move(datagram), host, *port, endpoint);
    case RuleAction::Kind::proxy: {
        const ProxyServer* proxy = profile.proxy(verdict.action.proxyIDs().front());
        if (!proxy) return;
        if (!reportProxying(target, proxy->name, datagram.size())) return;
        return sendThroughAssociation(std::move(datagram), host, *port, proxy->id, {*proxy});
    }
    case RuleAction::Kind::failover: {
        const std::vector<UUID> ids = verdict.action.proxyIDs();
        std::vector<ProxyServer> candidates;
        for (const UUID& id : ids) {
            if (const ProxyServer* proxy = profile.proxy(id)) candidates.push_back(*proxy);
        }
        if (candidates.empty()) return;
        if (!reportProxying(target, candidates.front().name + " (failover)", datagram.size())) return;
        return sendThroughAssociation(std::move(datagram), host, *port, ids.front(), std::move(candidates));
    }
    case RuleAction::Kind::chain:
    case RuleAction::Kind::block:
        return;
    }
}

bool UDPFlowRelay::reportProxying(const std::string& target, const std::string& proxyName, std::size_t length) {
    bool first = false;
    {
        std::lock_guard guard(lock_);
        // A relay that has finished makes no record and counts nothing more.
        if (finished_) return false;
        first = !reportedProxying_;
        reportedProxying_ = true;
        counters_.bytesSent += length;
    }
    if (first && settings_.onProxied) settings_.onProxied(target, proxyName);
    return true;
}

void UDPFlowRelay::sendDirectly(platform::Bytes datagram, const std::string& host, std::uint16_t port,
                                const platform::Endpoint& endpoint) {
    noteDNSQuery(host, port, datagram);
    const std::string key = host + ":" + std::to_string(port);
    std::shared_ptr<DirectConnection> connection;
    {
        std::lock_guard guard(lock_);
        if (finished_) return;
        if (auto found = directConnections_.find(key); found != directConnections_.end()) connection = found->second;
    }
    if (!connection) {
        connection = openDirect(host, port, endpoint);
        if (!connection) return;
        std::shared_ptr<DirectConnection> evicted;
        {
            std::lock_guard guard(lock_);
            if (finished_) return;
            if (directConnections_.size() >= kMaximumDirectConnections) {
                evicted = directConnections_[directOrder_.front()];
                directConnections_.erase(directOrder_.front());
                directOrder_.pop_front();
            }
            directConnections_.emplace(key, connection);
            directOrder_.push_back(key);
        }
        if (evicted) {
            asio::post(strand_, [evicted] {
                std::error_code ignored;
                evicted->socket.close(ignored);
            });
        }
        receiveDirect(key, connection);
    }
    auto payload = std::make_shared<platform::Bytes>(std::move(datagram));
    asio::post(strand_, [connection, payload] {
        connection->socket.async_send(asio::buffer(*payload), [connection, payload](const std::error_code&, std::size_t) {});
    });
}

std::shared_ptr<UDPFlowRelay::DirectConnection> UDPFlowRelay::openDirect(const std::string& host, std::uint16_t port,
                                                                         const platform::Endpoint& endpoint) {
    const std::optional<IPAddressValue> address = IPAddressValue::fromString(host);
    if (!address) return nullptr;  // the platform names destinations by address only
    std::error_code error;
    const asio::ip::address target = asio::ip::make_address(address->description(), error);
    if (error) return nullptr;
    auto connection = std::make_shared<DirectConnection>(
        DirectConnection{asio::ip::udp::socket(strand_), endpoint, host, port});
    const asio::ip::udp::endpoint remote(target, port);
    connection->socket.open(remote.protocol(), error);
    if (!error && settings_.prepareSocket) error = settings_.prepareSocket(connection->socket.native_handle());
    if (!error) connection->socket.connect(remote, error);
    if (error) return nullptr;
    return connection;
}

void UDPFlowRelay::receiveDirect(const std::string& key, std::shared_ptr<DirectConnection> connection) {
    std::weak_ptr<UDPFlowRelay> weak = weak_from_this();
    asio::post(strand_, [weak, key, connection] {
        connection->socket.async_wait(asio::socket_base::wait_read, [weak, key, connection](std::error_code error) {
            auto self = weak.lock();
            if (!self) return;
            std::optional<platform::Bytes> payload;
            if (!error) payload = platform::receiveDatagram(connection->socket.native_handle(), error);
            if (error == std::errc::resource_unavailable_try_again) return self->receiveDirect(key, connection);
            // A receive error (an ICMP unreachable, say) retires this socket; the
            // next datagram to the destination opens a new one.
            if (error) return self->dropDirect(key, connection);
            self->absorbIfDNS(connection->host, connection->port, *payload);
            // An empty datagram is a datagram too: pass it on and keep receiving.
            self->settings_.flow->writeDatagrams({std::move(*payload)}, {connection->remembered},
                                                 [](platform::Error) {});
            self->receiveDirect(key, connection);
        });
    });
}

void UDPFlowRelay::dropDirect(const std::string& key, const std::shared_ptr<DirectConnection>& connection) {
    {
        std::lock_guard guard(lock_);
        auto found = directConnections_.find(key);
        if (found != directConnections_.end() && found->second == connection) {
            directConnections_.erase(found);
            directOrder_.erase(std::find(directOrder_.begin(), directOrder_.end(), key));
        }
    }
    asio::post(strand_, [connection] {
        std::error_code ignored;
        connection->socket.close(ignored);
    });
}

void UDPFlowRelay::sendThroughAssociation(platform::Bytes datagram, const std::string& host, std::uint16_t port,
                                          const UUID& group, std::vector<ProxyServer> candidates) {
    noteDNSQuery(host, port, datagram);
    std::shared_ptr<UDPAssociation> association;
    bool startEstablishing = false;
    {
        std::lock_guard guard(lock_);
        if (finished_) return;
        if (auto found = associations_.find(group); found != associations_.end()) {
            association = found->second;
        } else {
            PendingQueue& queue = pending_[group];
            if (queue.datagrams.size() < kMaximumPendingDatagrams &&
                queue.bytes + datagram.size() <= kMaximumPendingBytes) {
                queue.bytes += datagram.size();
                queue.datagrams.push_back({std::move(datagram), host, port});
            }
            startEstablishing = establishing_.insert(group).second;
        }
    }
    if (association) {
        std::deque<PendingDatagram> one;
        one.push_back({std::move(datagram), host, port});
        asio::co_spawn(settings_.executor, sendQueued(association, std::move(one)), asio::detached);
    } else if (startEstablishing) {
        asio::co_spawn(settings_.executor,
                       establish(weak_from_this(), group, std::move(candidates), settings_.executor), asio::detached);
    }
}

asio::awaitable<void> UDPFlowRelay::establish(std::weak_ptr<UDPFlowRelay> weak, UUID group,
                                              std::vector<ProxyServer> candidates, asio::any_io_executor executor) {
    std::shared_ptr<UDPAssociation> association;
    for (const ProxyServer& candidate : candidates) {
        if (candidate.kind != ProxyProtocol::socks5) continue;
        try {
            // Made apart from the co_await: g++ 12 mishandles temporaries inside it.
            auto attempt = ProxyClient::establishUDPAssociation(candidate, asio::make_strand(executor));
            association = co_await std::move(attempt);
            break;
        } catch (...) {
        }
    }
    auto self = weak.lock();
    if (!self) {
        if (association) association->cancel();
        co_return;
    }
    std::deque<PendingDatagram> queued;
    {
        std::lock_guard guard(self->lock_);
        self->establishing_.erase(group);
        if (auto found = self->pending_.find(group); found != self->pending_.end()) {
            queued = std::move(found->second.datagrams);
            self->pending_.erase(found);
        }
        // Stored only while the relay runs, so that its finish cancels it.
        if (association && !self->finished_) self->associations_[group] = association;
        else if (association) association->cancel(), association.reset();
    }
    if (!association) co_return;
    asio::co_spawn(executor, receiveFromAssociation(weak, group, association), asio::detached);
    asio::co_spawn(executor, watchControl(weak, group, association), asio::detached);
    auto sending = sendQueued(association, std::move(queued));
    co_await std::move(sending);
}

asio::awaitable<void> UDPFlowRelay::sendQueued(std::shared_ptr<UDPAssociation> association,
                                               std::deque<PendingDatagram> datagrams) {
    for (PendingDatagram& datagram : datagrams) {
        try {
            auto sending = association->send(std::move(datagram.payload), datagram.host, datagram.port);
            co_await std::move(sending);
        } catch (...) {
        }
    }
}

asio::awaitable<void> UDPFlowRelay::receiveFromAssociation(std::weak_ptr<UDPFlowRelay> weak, UUID group,
                                                           std::shared_ptr<UDPAssociation> association) {
    for (;;) {
        std::optional<SOCKS5::UDPDatagram> datagram;
        bool transportFailed = false;
        try {
            datagram = co_await association->receive();
        } catch (const SOCKS5::ProtocolError&) {
            // A fragment or a malformed header: skip this datagram only.
        } catch (...) {
            transportFailed = true;
        }
        auto self = weak.lock();
        if (!self) co_return;
        if (transportFailed) {
            // The next datagram for the group sets up a new association.
            self->dropAssociation(group, association);
            co_return;
        }
        if (!datagram) continue;
        self->absorbIfDNS(datagram->host, datagram->port, datagram->payload);
        {
            std::lock_guard guard(self->lock_);
            self->counters_.bytesReceived += datagram->payload.size();
        }
        platform::Endpoint sender = platform::HostEndpoint{datagram->host, std::to_string(datagram->port)};
        self->settings_.flow->writeDatagrams({std::move(datagram->payload)}, {std::move(sender)},
                                             [](platform::Error) {});
    }
}

asio::awaitable<void> UDPFlowRelay::watchControl(std::weak_ptr<UDPFlowRelay> weak, UUID group,
                                                 std::shared_ptr<UDPAssociation> association) {
    // The proxy keeps the association only while its control connection lives.
    co_await association->waitForControlClose();
    if (auto self = weak.lock()) self->dropAssociation(group, association);
}

void UDPFlowRelay::dropAssociation(const UUID& group, const std::shared_ptr<UDPAssociation>& association) {
    {
        std::lock_guard guard(lock_);
        auto found = associations_.find(group);
        if (found != associations_.end() && found->second == association) associations_.erase(found);
    }
    association->cancel();
}

void UDPFlowRelay::noteDNSQuery(const std::string& host, std::uint16_t port, const platform::Bytes& payload) {
    if (port != kDNSPort || !user_ || DNSMessage::isResponse(payload)) return;
    DNSMessage::Parsed query;
    try {
        query = DNSMessage::parse(payload);
    } catch (const DNSMessage::ParseError&) {
        return;
    }
    const Date now = settings_.clock();
    std::lock_guard guard(lock_);
    dnsQueries_.sent(dnsServer(host, port), query, now);
}

void UDPFlowRelay::absorbIfDNS(const std::string& host, std::uint16_t port, const platform::Bytes& payload) {
    if (port != kDNSPort || !user_ || !DNSMessage::isResponse(payload)) return;
    DNSMessage::Parsed response;
    try {
        response = DNSMessage::parse(payload);
    } catch (const DNSMessage::ParseError&) {
        return;
    }
    const Date now = settings_.clock();
    {
        std::lock_guard guard(lock_);
        if (!dnsQueries_.settle(dnsServer(host, port), response, now)) return;
    }
    settings_.hostnameCache->absorb(response, *user_, now);
}

void UDPFlowRelay::finish() {
    std::map<UUID, std::shared_ptr<UDPAssociation>> associations;
    std::map<std::string, std::shared_ptr<DirectConnection>> directs;
    Counters final;
    {
        std::lock_guard guard(lock_);
        if (finished_) return;
        finished_ = true;
        associations.swap(associations_);
        directs.swap(directConnections_);
        directOrder_.clear();
        final = counters_;
    }
    for (auto& [group, association] : associations) association->cancel();
    for (auto& [key, connection] : directs) {
        asio::post(strand_, [connection] {
            std::error_code ignored;
            connection->socket.close(ignored);
        });
    }
    settings_.flow->closeRead({});
    settings_.flow->closeWrite({});
    if (settings_.onClose) settings_.onClose(final.bytesSent, final.bytesReceived);
}

UDPFlowRelay::Counters UDPFlowRelay::counters() const {
    std::lock_guard guard(lock_);
    return counters_;
}

}  // namespace corvane::tunnel
