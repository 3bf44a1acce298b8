#include "CorvaneCore/Proxy/ProxyClient.hpp"

#include "CorvaneCore/Proxy/ConnectStep.hpp"
#include "CorvaneCore/Proxy/ProxyHandshakes.hpp"
#include "CorvaneCore/Proxy/ProxyStream.hpp"
#include "CorvaneCore/Proxy/RunOnStrand.hpp"
#include "CorvaneCore/Proxy/UDPAssociation.hpp"

#include <asio/error.hpp>
#include <asio/strand.hpp>
#include <asio/system_error.hpp>
#include <asio/this_coro.hpp>

namespace corvane {

std::atomic<double> ProxyClient::connectTimeout{10.0};
std::atomic<std::uint32_t> ProxyClient::socketMark{0};

namespace {

// One connection to the first proxy; hop i asks for proxy i + 1, the last
// hop for the target.
asio::awaitable<ProxyConnection> runChain(std::vector<ProxyServer> proxies, std::string host, std::uint16_t port) {
    detail::ProxyStream stream(co_await asio::this_coro::executor);
    try {
        co_await stream.connect(proxies.front().host, proxies.front().port);
        for (std::size_t i = 0; i < proxies.size(); ++i) {
            const bool last = i + 1 == proxies.size();
            co_await detail::performHop(stream, proxies[i], last ? host : proxies[i + 1].host,
                                        last ? port : proxies[i + 1].port);
        }
    } catch (...) {
        stream.close();
        throw;
    }
    co_return stream.finish();
}

// The TCP control connection with its handshake, then the UDP socket to the
// relay the proxy names (the proxy's own host when it names no address).
asio::awaitable<std::shared_ptr<UDPAssociation>> runAssociation(ProxyServer proxy) {
    const asio::any_io_executor strand = co_await asio::this_coro::executor;
    detail::ProxyStream control(strand);
    asio::ip::udp::socket relay(strand);
    detail::Deadline relayDeadline(strand);
    try {
        co_await control.connect(proxy.host, proxy.port);
        co_await detail::socks5Authenticate(control, proxy);
        co_await control.send(SOCKS5::udpAssociateRequest("0.0.0.0", 0));
        const SOCKS5::Endpoint bound = co_await detail::readSOCKS5Reply(control);
        if (bound.port == 0) throw ProxyClientError::invalidProxyEndpoint();
        const bool unspecified = bound.host == "0.0.0.0" || bound.host == "::";
        co_await detail::connectStep(relay, unspecified ? proxy.host : bound.host, bound.port, relayDeadline);
    } catch (...) {
        std::error_code ignored;
        relay.close(ignored);
        control.close();
        throw;
    }
    co_return std::make_shared<UDPAssociation>(control.finish().socket, std::move(relay));
}

bool isCancelled(asio::cancellation_state state) { return state.cancelled() != asio::cancellation_type::none; }

}  // namespace

asio::awaitable<ProxyConnection> ProxyClient::establishTCP(std::string host, std::uint16_t port, ProxyServer proxy,
                                                          asio::any_io_executor executor) {
    std::vector<ProxyServer> chain;
    chain.push_back(std::move(proxy));
    co_return co_await establishTCPChain(std::move(chain), std::move(host), port, std::move(executor));
}

asio::awaitable<ProxyConnection> ProxyClient::establishTCPChain(std::vector<ProxyServer> proxies, std::string host,
                                                               std::uint16_t port, asio::any_io_executor executor) {
    if (proxies.empty()) throw ProxyClientError::emptyChain();
    if (proxies.front().port == 0) throw ProxyClientError::invalidProxyEndpoint();
    co_return co_await detail::runOnStrand(asio::make_strand(executor),
                                           runChain(std::move(proxies), std::move(host), port));
}

asio::awaitable<FailoverConnection> ProxyClient::establishTCPFailover(std::vector<ProxyServer> proxies,
                                                                     std::string host, std::uint16_t port,
                                                                     asio::any_io_executor executor,
                                                                     AttemptFailureHandler onAttemptFailure) {
    if (proxies.empty()) throw ProxyClientError::emptyChain();
    std::exception_ptr lastError;
    for (const ProxyServer& proxy : proxies) {
        if (isCancelled(co_await asio::this_coro::cancellation_state)) {
            throw asio::system_error(asio::error::operation_aborted);
        }
        try {
            ProxyConnection connection = co_await establishTCP(host, port, proxy, executor);
            co_return FailoverConnection{std::move(connection), proxy};
        } catch (...) {
            lastError = std::current_exception();
        }
        if (onAttemptFailure) onAttemptFailure(proxy, lastError);
    }
    std::rethrow_exception(lastError);
}

asio::awaitable<std::shared_ptr<UDPAssociation>> ProxyClient::establishUDPAssociation(ProxyServer proxy,
                                                                                     asio::any_io_executor executor) {
    if (proxy.kind != ProxyProtocol::socks5) throw ProxyClientError::udpUnsupported();
    if (proxy.port == 0) throw ProxyClientError::invalidProxyEndpoint();
    co_return co_await detail::runOnStrand(asio::make_strand(executor), runAssociation(std::move(proxy)));
}

}  // namespace corvane
