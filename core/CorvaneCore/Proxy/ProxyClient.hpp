#pragma once

#include "CorvaneCore/Models/ProxyServer.hpp"
#include "CorvaneCore/Proxy/ProxyClientError.hpp"
#include "CorvaneCore/Proxy/ProxyConnection.hpp"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

class UDPAssociation;

// The connection of a failover list and the proxy that carried it.
struct FailoverConnection {
    ProxyConnection connection;
    ProxyServer proxy;
};

// Opens outbound connections through SOCKS5 and HTTP CONNECT proxies: through
// one proxy, a chain (each hop through the previous one) or the first proxy
// of a failover list that works, and SOCKS5 UDP associations.
//
// Every connection gets a strand of its own made from the executor passed
// in; its sockets and timers complete there, and the returned socket keeps it
// as its executor. The connect step and then the handshakes are each bounded
// by `connectTimeout`; a (terminal) cancellation of the calling coroutine ends
// them at once with connectionClosed. On every failure each socket the
// operation opened is closed before the error reaches the caller. Errors are
// ProxyClientError, SOCKS5::ProtocolError or HTTPConnect::ProtocolError,
// passed on unchanged.
class ProxyClient {
public:
    // Seconds; read each time a connect step or handshake starts, and when
    // the time-out message is written.
    static std::atomic<double> connectTimeout;
    // The socket mark (SO_MARK) set on every socket before it connects, so
    // that the machine's diversion rules skip the client's own traffic; 0
    // sets none. Setting a mark needs CAP_NET_ADMIN; without it every connect
    // fails rather than sending unmarked traffic.
    static std::atomic<std::uint32_t> socketMark;

    // Called after each failed attempt of a failover list with the proxy and
    // the error, before the next proxy is tried.
    using AttemptFailureHandler = std::function<void(const ProxyServer&, std::exception_ptr)>;

    static asio::awaitable<ProxyConnection> establishTCP(std::string host, std::uint16_t port, ProxyServer proxy,
                                                         asio::any_io_executor executor);

    static asio::awaitable<ProxyConnection> establishTCPChain(std::vector<ProxyServer> proxies, std::string host,
                                                              std::uint16_t port, asio::any_io_executor executor);

    // Tries the proxies in order, one at a time, and returns the first that
    // works. A cancellation of the calling coroutine ends the attempt in
    // progress and is honoured before the next one (asio::error::operation_aborted
    // is thrown). When all fail, the last error is thrown.
    static asio::awaitable<FailoverConnection> establishTCPFailover(std::vector<ProxyServer> proxies, std::string host,
                                                                    std::uint16_t port, asio::any_io_executor executor,
                                                                    AttemptFailureHandler onAttemptFailure = {});

    static asio::awaitable<std::shared_ptr<UDPAssociation>> establishUDPAssociation(ProxyServer proxy,
                                                                                    asio::any_io_executor executor);
};

}  // namespace corvane
