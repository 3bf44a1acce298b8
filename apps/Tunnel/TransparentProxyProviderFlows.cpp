#include "Tunnel/TransparentProxyProvider.hpp"

#include <cerrno>
#include <system_error>

#include <asio/co_spawn.hpp>
#include <asio/strand.hpp>

#include "CorvaneCore/Proxy/ProxyClient.hpp"
#include "CorvaneCore/Proxy/ProxyClientError.hpp"
#include "CorvaneCore/Support/StandardInteger.hpp"
#include "Tunnel/FlowEndpoint.hpp"
#include "Tunnel/FlowUser.hpp"
#include "platform/OpenAsync.hpp"

namespace corvane::tunnel {
namespace {

using platform::LogArg;

// The text and the code of a failure, for the log and for closing the flow.
struct FailureDetails {
    std::string description;
    platform::Error code;
};

FailureDetails detailsOf(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const ProxyClientError& error) {
        return {error.errorDescription(),
                error.error() ? error.error() : platform::posixError(ECONNABORTED)};
    } catch (const std::system_error& error) {
        return {error.code().message(), error.code()};
    } catch (const std::exception& error) {
        return {error.what(), platform::posixError(ECONNABORTED)};
    } catch (...) {
        return {"Unknown error", platform::posixError(ECONNABORTED)};
    }
}

}  // namespace

bool TransparentProxyProvider::handleNewFlow(std::shared_ptr<platform::AppProxyFlow> flow) {
    if (auto udp = std::dynamic_pointer_cast<platform::AppProxyUDPFlow>(flow)) return handleUDPFlow(udp);
    if (auto tcp = std::dynamic_pointer_cast<platform::AppProxyTCPFlow>(flow)) return handleTCPFlow(tcp);
    return false;
}

bool TransparentProxyProvider::handleTCPFlow(const std::shared_ptr<platform::AppProxyTCPFlow>& flow) {
    const platform::Endpoint endpoint = flow->remoteEndpoint();
    const platform::HostEndpoint* remote = platform::hostEndpoint(endpoint);
    if (!remote) return false;
    const auto port = parseStandardInteger<std::uint16_t>(remote->port);
    if (!port) return false;
    const std::optional<IPAddressValue> address = endpointAddress(remote->hostname);

    const platform::FlowMetaData& metaData = flow->metaData();
    std::optional<std::string> hostname = flow->remoteHostname();
    bool viaDNS = false;
    if (!hostname && !address) hostname = remote->hostname;
    // Names learnt from DNS serve only the user whose program asked for them.
    const std::optional<HostnameCache::User> user = flowUser(metaData);
    if (!hostname && address && user) {
        hostname = hostnameCache_->hostname(*address, *user, environment_.clock());
        viaDNS = hostname.has_value();
    }

    const CodeSignatureResolver::Resolution resolution = signatures_.resolve(metaData.sourceAppAuditToken);
    const std::string& identifier = metaData.sourceAppSigningIdentifier;
    const FlowSource source{identifier, resolution.path, resolution.identity};
    const FlowDescriptor descriptor = FlowDescriptor::of(source, hostname, address, *port, TransportProtocol::tcp);

    std::shared_ptr<const RuleEngine> engine;
    RuleEngine::Verdict verdict;
    {
        std::lock_guard guard(stateLock_);
        engine = engine_;
        verdict = engine->verdict(descriptor);
    }
    const Profile& profile = engine->profile;

    log_.info("TCP %{public}s%{public}s → host=%{public}s%{public}s addr=%{public}s:%hu ⇒ %{public}s via %{public}s",
              {LogArg::publicText(identifier.empty() ? "?" : identifier),
               LogArg::publicText(resolution.identity.isValid ? "" : " [signature unverified]"),
               LogArg::publicText(hostname ? *hostname : "(none)"), LogArg::publicText(viaDNS ? " (via DNS)" : ""),
               LogArg::publicText(address ? address->description() : "(none)"), LogArg::number(*port),
               LogArg::publicText(describe(verdict.action, profile)),
               LogArg::publicText(verdict.matchedRule ? verdict.matchedRule->name : "default")});

    switch (verdict.action.kind()) {
    case RuleAction::Kind::direct:
        return false;
    case RuleAction::Kind::block:
        block(flow, descriptor, verdict, resolution);
        return true;
    default:
        break;
    }

    std::vector<ProxyServer> proxies;
    for (const UUID& id : verdict.action.proxyIDs()) {
        const ProxyServer* proxy = profile.proxy(id);
        if (!proxy) {
            proxies.clear();
            break;
        }
        proxies.push_back(*proxy);
    }
    if (proxies.empty()) {
        log_.error("Rule references a missing proxy; passing through");
        return false;
    }

    ConnectionRecord record{UUID::random(),
                            environment_.clock(),
                            identifier,
                            resolution.path,
                            resolution.identity,
                            descriptor.targetDescription(),
                            TransportProtocol::tcp,
                            routeDescription(verdict.action, proxies),
                            verdict.matchedRule ? std::optional(verdict.matchedRule->name) : std::nullopt,
                            ConnectionStatus::active,
                            0,
                            0};
    const UUID recordID = record.id;
    appendRecord(std::move(record));

    // A set-up that throws anything still ends its flow and marks its record failed.
    std::weak_ptr<TransparentProxyProvider> weak = weak_from_this();
    auto task = relay(shared_from_this(), flow, descriptor, verdict.action, std::move(proxies), recordID);
    asio::co_spawn(host().executor(), std::move(task),
                   [weak, flow, descriptor, recordID](std::exception_ptr failure) {
                       if (!failure) return;
                       if (auto self = weak.lock()) self->relaySetupFailed(flow, descriptor, recordID, failure);
                   });
    return true;
}

void TransparentProxyProvider::block(const std::shared_ptr<platform::AppProxyTCPFlow>& flow,
                                     const FlowDescriptor& descriptor, const RuleEngine::Verdict& verdict,
                                     const CodeSignatureResolver::Resolution& resolution) {
    appendRecord(ConnectionRecord{UUID::random(),
                                  environment_.clock(),
                                  flow->metaData().sourceAppSigningIdentifier,
                                  resolution.path,
                                  resolution.identity,
                                  descriptor.targetDescription(),
                                  TransportProtocol::tcp,
                                  "Block",
                                  verdict.matchedRule ? std::optional(verdict.matchedRule->name) : std::nullopt,
                                  ConnectionStatus::blocked,
                                  0,
                                  0});
    // Whatever the open's outcome, the application is refused.
    flow->open([flow](platform::Error) {
        flow->closeRead(platform::connectionRefused());
        flow->closeWrite(platform::connectionRefused());
    });
}

asio::awaitable<void> TransparentProxyProvider::relay(std::shared_ptr<TransparentProxyProvider>,
                                                      std::shared_ptr<platform::AppProxyTCPFlow> flow,
                                                      FlowDescriptor descriptor, RuleAction action,
                                                      std::vector<ProxyServer> proxies, UUID recordID) {
    auto opening = platform::openAsync(flow);
    co_await std::move(opening);
    const std::string destination = descriptor.remoteHostname ? *descriptor.remoteHostname
                                    : descriptor.remoteAddress ? descriptor.remoteAddress->description()
                                                               : std::string();
    auto strand = asio::make_strand(host().executor());
    std::optional<ProxyConnection> connection;
    // Each operation is made in a statement of its own and then awaited: temporaries
    // inside a co_await expression are not reliably destroyed once by g++ 12.
    if (action.kind() == RuleAction::Kind::failover) {
        ProxyClient::AttemptFailureHandler onAttemptFailure = [log = log_](const ProxyServer& proxy,
                                                                           std::exception_ptr failure) {
            log.error("Failover: %{public}s did not answer (%{public}s)",
                      {LogArg::publicText(proxy.name), LogArg::publicText(detailsOf(failure).description)});
        };
        auto attempt = ProxyClient::establishTCPFailover(proxies, destination, descriptor.remotePort, strand,
                                                         std::move(onAttemptFailure));
        FailoverConnection result = co_await std::move(attempt);
        updateRecord(recordID, [&result](ConnectionRecord& record) {
            record.actionDescription = "Failover: " + result.proxy.name;
        });
        connection.emplace(std::move(result.connection));
    } else {
        auto attempt = ProxyClient::establishTCPChain(proxies, destination, descriptor.remotePort, strand);
        connection.emplace(co_await std::move(attempt));
    }

    auto relay = std::make_shared<FlowRelay>(flow, std::move(*connection), relayCloseHandler(recordID));
    bool stopped = false;
    {
        std::lock_guard guard(stateLock_);
        stopped = stopped_;
        if (!stopped) relays_[recordID] = relay;
    }
    // The session ended while this relay was being set up: end it like the others.
    if (stopped) {
        relay->finish({});
        co_return;
    }
    relay->start();
}

void TransparentProxyProvider::relaySetupFailed(const std::shared_ptr<platform::AppProxyTCPFlow>& flow,
                                                const FlowDescriptor& descriptor, const UUID& recordID,
                                                std::exception_ptr failure) {
    const FailureDetails details = detailsOf(failure);
    log_.error("Relay setup to %{public}s failed: %s",
               {LogArg::publicText(descriptor.targetDescription()), LogArg::privateText(details.description)});
    flow->closeRead(details.code);
    flow->closeWrite(details.code);
    updateRecord(recordID, [](ConnectionRecord& record) { record.status = ConnectionStatus::failed; });
}

FlowRelay::CloseHandler TransparentProxyProvider::relayCloseHandler(const UUID& recordID) {
    std::weak_ptr<TransparentProxyProvider> weak = weak_from_this();
    return [weak, recordID](std::uint64_t bytesSent, std::uint64_t bytesReceived, platform::Error error) {
        auto self = weak.lock();
        if (!self) return;
        {
            std::lock_guard guard(self->stateLock_);
            self->relays_.erase(recordID);
        }
        self->updateRecord(recordID, [&](ConnectionRecord& record) {
            record.status = error ? ConnectionStatus::failed : ConnectionStatus::closed;
            record.bytesSent = bytesSent;
            record.bytesReceived = bytesReceived;
        });
    };
}

void TransparentProxyProvider::appendRecord(ConnectionRecord record) {
    std::lock_guard guard(stateLock_);
    appendRecordLocked(std::move(record));
}

void TransparentProxyProvider::appendRecordLocked(ConnectionRecord record) { records_.append(std::move(record)); }

void TransparentProxyProvider::updateRecord(const UUID& id, const std::function<void(ConnectionRecord&)>& change) {
    std::lock_guard guard(stateLock_);
    records_.update(id, change);
}

std::vector<ConnectionRecord> TransparentProxyProvider::recordsWithLiveCounters() const {
    std::vector<ConnectionRecord> records;
    std::unordered_map<UUID, std::shared_ptr<FlowRelay>> tcp;
    std::unordered_map<UUID, std::shared_ptr<UDPFlowRelay>> udp;
    {
        std::lock_guard guard(stateLock_);
        records = records_.records();
        tcp = relays_;
        udp = udpRelays_;
    }
    for (ConnectionRecord& record : records) {
        if (auto relay = tcp.find(record.id); relay != tcp.end()) {
            const FlowRelay::Counters counters = relay->second->counters();
            record.bytesSent = counters.bytesSent;
            record.bytesReceived = counters.bytesReceived;
        } else if (auto udpRelay = udp.find(record.id); udpRelay != udp.end()) {
            const UDPFlowRelay::Counters counters = udpRelay->second->counters();
            record.bytesSent = counters.bytesSent;
            record.bytesReceived = counters.bytesReceived;
        }
    }
    return records;
}

}  // namespace corvane::tunnel
