#pragma once

#include "CorvaneCore/Proxy/SOCKS5.hpp"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

// Datagrams to and from any destination through one SOCKS5 proxy (UDP
// ASSOCIATE): the TCP control connection on which the handshake ran, held
// open because the proxy keeps the association only while it lives, and a
// UDP socket connected to the relay the proxy named. Made by
// ProxyClient::establishUDPAssociation. Both sockets run on one strand.
// Releasing the object closes both; cancel() closes them while others still
// hold it. Errors of send and receive leave the association open.
class UDPAssociation : public std::enable_shared_from_this<UDPAssociation> {
public:
    UDPAssociation(asio::ip::tcp::socket control, asio::ip::udp::socket relay);

    // One datagram to host:port (an address literal or a name).
    asio::awaitable<void> send(std::vector<std::uint8_t> payload, std::string host, std::uint16_t port);
    // One datagram from the relay, with the sender the relay reports.
    asio::awaitable<SOCKS5::UDPDatagram> receive();
    // Returns when the control connection ends: the proxy closed it, it failed, or
    // cancel() closed it. The proxy keeps the association only while it lives.
    asio::awaitable<void> waitForControlClose();
    // Closes the relay socket, then the control connection; pending sends and
    // receives end with connectionClosed. Safe from any thread.
    void cancel();

    // The two sockets; touch them only on the association's strand.
    asio::ip::tcp::socket& control() { return control_; }
    asio::ip::udp::socket& relay() { return relay_; }

private:
    asio::any_io_executor strand_;
    asio::ip::tcp::socket control_;
    asio::ip::udp::socket relay_;
};

}  // namespace corvane
