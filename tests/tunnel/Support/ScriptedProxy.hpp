#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>

namespace corvane::tunnel::testing {

// A proxy on 127.0.0.1 for the daemon's tests, on its own thread. A CONNECT to
// 127.0.0.1 is really carried (so chains work); after any other CONNECT it plays
// the target itself: it echoes what it receives and half-closes when the client does. SOCKS5 also serves UDP ASSOCIATE with a relay
// that echoes each datagram back as sent by its destination.
class ScriptedProxy {
public:
    enum class Kind { socks5, http };
    struct Datagram {
        std::string host;
        std::uint16_t port = 0;
        std::vector<std::uint8_t> payload;
    };

    explicit ScriptedProxy(Kind kind);
    ~ScriptedProxy();

    std::uint16_t port() const { return port_; }
    // Sent to the client right after the CONNECT reply, in the same write.
    void setBanner(std::vector<std::uint8_t> banner);
    // Refuse every CONNECT (SOCKS5 reply 05, HTTP 502).
    void refuseConnects();
    // Reject every UDP ASSOCIATE with reply 07, as proxies without UDP do.
    void refuseAssociations();
    // Each relay sends one fragment (FRAG 01) before every echo.
    void sendFragmentBeforeEcho();
    // Each relay answers every datagram with these, each as sent by its host
    // (an IP literal) and port, in place of the echo.
    void answerDatagramsWith(std::vector<Datagram> replies);
    // Ends every association: closes its relay and control connection.
    void endAssociations();
    // UDP ASSOCIATE replies wait (the request is still counted) until released;
    // releasing sends the held ones and stops holding.
    void holdAssociationReplies();
    void releaseAssociationReplies();

    // "host:port" of each CONNECT, in order.
    std::vector<std::string> targets() const;
    std::size_t associations() const;
    std::size_t associationRequests() const;
    std::vector<Datagram> datagrams() const;

    // A loopback port where nothing listens.
    static std::uint16_t closedPort();

private:
    struct Association {
        std::shared_ptr<asio::ip::tcp::socket> control;
        std::shared_ptr<asio::ip::udp::socket> relay;
    };

    asio::awaitable<void> acceptLoop();
    asio::awaitable<void> serveSOCKS5(std::shared_ptr<asio::ip::tcp::socket> client);
    asio::awaitable<void> serveHTTP(std::shared_ptr<asio::ip::tcp::socket> client);
    asio::awaitable<void> associate(std::shared_ptr<asio::ip::tcp::socket> control);
    asio::awaitable<void> relayLoop(std::shared_ptr<asio::ip::udp::socket> relay);
    asio::awaitable<void> forward(std::shared_ptr<asio::ip::tcp::socket> client, std::uint16_t port);
    static asio::awaitable<void> copy(std::shared_ptr<asio::ip::tcp::socket> from,
                                      std::shared_ptr<asio::ip::tcp::socket> to);
    asio::awaitable<void> echo(std::shared_ptr<asio::ip::tcp::socket> client, std::vector<std::uint8_t> first);

    Kind kind_;
    asio::io_context context_;
    asio::ip::tcp::acceptor acceptor_;
    std::uint16_t port_ = 0;
    asio::steady_timer release_;  // never expires; cancelled to wake held replies
    std::thread thread_;

    mutable std::mutex lock_;
    std::vector<std::uint8_t> banner_;
    bool refuse_ = false;
    bool fragment_ = false;
    std::optional<std::vector<Datagram>> replies_;
    bool refuseAssociations_ = false;
    bool holdAssociations_ = false;
    std::size_t associationRequests_ = 0;
    std::vector<std::string> targets_;
    std::vector<Association> associations_;
    std::size_t associationCount_ = 0;
    std::vector<Datagram> datagrams_;
};

}  // namespace corvane::tunnel::testing
