#include "CorvaneCore/Proxy/ProxyHandshakes.hpp"

#include "CorvaneCore/Proxy/HTTPConnect.hpp"

namespace corvane::detail {
namespace {

constexpr std::size_t headReadSize = 4096;

}  // namespace

asio::awaitable<void> socks5Authenticate(ProxyStream& stream, const ProxyServer& proxy) {
    co_await stream.send(SOCKS5::clientGreeting(proxy.credentials.has_value()));
    const auto method = SOCKS5::parseMethodSelection(co_await stream.receiveExactly(2));
    if (method == SOCKS5::AuthMethod::none) co_return;
    if (!proxy.credentials) throw SOCKS5::ProtocolError::authenticationFailed();
    co_await stream.send(SOCKS5::userPassRequest(*proxy.credentials));
    SOCKS5::parseUserPassReply(co_await stream.receiveExactly(2));
}

asio::awaitable<SOCKS5::Endpoint> readSOCKS5Reply(ProxyStream& stream) {
    Bytes reply = co_await stream.receiveExactly(4);
    const std::uint8_t addressType = SOCKS5::parseReplyHeader(reply);
    Bytes tail;
    if (const auto fixed = SOCKS5::fixedReplyTailLength(addressType)) {
        tail = co_await stream.receiveExactly(*fixed);
    } else {
        tail = co_await stream.receiveExactly(1);
        const Bytes rest = co_await stream.receiveExactly(std::size_t{tail[0]} + 2);
        tail.insert(tail.end(), rest.begin(), rest.end());
    }
    reply.insert(reply.end(), tail.begin(), tail.end());
    co_return SOCKS5::parseReply(reply);
}

asio::awaitable<void> performHTTPConnectHandshake(ProxyStream& stream, const ProxyServer& proxy, std::string host,
                                                  std::uint16_t port) {
    co_await stream.send(HTTPConnect::request(host, port, proxy.credentials));
    Bytes head;
    while (true) {
        if (const auto length = HTTPConnect::responseHeadLength(head)) {
            stream.unread(Bytes(head.begin() + static_cast<std::ptrdiff_t>(*length), head.end()));
            head.resize(*length);
            HTTPConnect::validate(HTTPConnect::parseStatusCode(head), HTTPConnect::statusLine(head));
            co_return;
        }
        if (head.size() >= HTTPConnect::maxHeadLength) throw HTTPConnect::ProtocolError::headersTooLarge();
        const Bytes chunk = co_await stream.receive(headReadSize);
        head.insert(head.end(), chunk.begin(), chunk.end());
    }
}

asio::awaitable<void> performHop(ProxyStream& stream, const ProxyServer& proxy, std::string host, std::uint16_t port) {
    switch (proxy.kind) {
    case ProxyProtocol::socks5:
        co_await socks5Authenticate(stream, proxy);
        co_await stream.send(SOCKS5::connectRequest(host, port));
        co_await readSOCKS5Reply(stream);
        co_return;
    case ProxyProtocol::httpConnect:
        co_await performHTTPConnectHandshake(stream, proxy, std::move(host), port);
        co_return;
    }
}

}  // namespace corvane::detail
