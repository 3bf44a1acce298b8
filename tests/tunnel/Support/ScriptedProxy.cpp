#include "Support/ScriptedProxy.hpp"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/read_until.hpp>
#include <asio/redirect_error.hpp>
#include <asio/streambuf.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

namespace corvane::tunnel::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using asio::use_awaitable;

// SOCKS5 address (type byte first) at `data`, as "host" and the port after it.
std::pair<std::string, std::uint16_t> readAddress(const Bytes& data, std::size_t& at) {
    const std::uint8_t type = data.at(at++);
    std::string host;
    if (type == 1) {
        host = std::to_string(data.at(at)) + "." + std::to_string(data.at(at + 1)) + "." +
               std::to_string(data.at(at + 2)) + "." + std::to_string(data.at(at + 3));
        at += 4;
    } else if (type == 4) {
        asio::ip::address_v6::bytes_type bytes{};
        std::copy(data.begin() + at, data.begin() + at + 16, bytes.begin());
        host = asio::ip::address_v6(bytes).to_string();
        at += 16;
    } else {
        const std::uint8_t length = data.at(at++);
        host.assign(data.begin() + at, data.begin() + at + length);
        at += length;
    }
    const std::uint16_t port = static_cast<std::uint16_t>(data.at(at) << 8 | data.at(at + 1));
    at += 2;
    return {host, port};
}

// A relay datagram: the SOCKS5 UDP header naming `host` and `port`, then the payload.
Bytes encapsulated(const ScriptedProxy::Datagram& datagram) {
    Bytes out{0, 0, 0};
    const asio::ip::address address = asio::ip::make_address(datagram.host);
    if (address.is_v4()) {
        out.push_back(1);
        const auto bytes = address.to_v4().to_bytes();
        out.insert(out.end(), bytes.begin(), bytes.end());
    } else {
        out.push_back(4);
        const auto bytes = address.to_v6().to_bytes();
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    out.push_back(static_cast<std::uint8_t>(datagram.port >> 8));
    out.push_back(static_cast<std::uint8_t>(datagram.port & 0xFF));
    out.insert(out.end(), datagram.payload.begin(), datagram.payload.end());
    return out;
}

}  // namespace

ScriptedProxy::ScriptedProxy(Kind kind)
    : kind_(kind),
      acceptor_(context_, {asio::ip::address_v4::loopback(), 0}),
      release_(context_, asio::steady_timer::time_point::max()) {
    port_ = acceptor_.local_endpoint().port();
    asio::co_spawn(context_, acceptLoop(), asio::detached);
    thread_ = std::thread([this] { context_.run(); });
}

ScriptedProxy::~ScriptedProxy() {
    context_.stop();
    thread_.join();
}

void ScriptedProxy::setBanner(Bytes banner) {
    std::lock_guard guard(lock_);
    banner_ = std::move(banner);
}

void ScriptedProxy::refuseConnects() {
    std::lock_guard guard(lock_);
    refuse_ = true;
}

void ScriptedProxy::refuseAssociations() {
    std::lock_guard guard(lock_);
    refuseAssociations_ = true;
}

std::size_t ScriptedProxy::associationRequests() const {
    std::lock_guard guard(lock_);
    return associationRequests_;
}

void ScriptedProxy::sendFragmentBeforeEcho() {
    std::lock_guard guard(lock_);
    fragment_ = true;
}

void ScriptedProxy::answerDatagramsWith(std::vector<Datagram> replies) {
    std::lock_guard guard(lock_);
    replies_ = std::move(replies);
}

void ScriptedProxy::endAssociations() {
    std::vector<Association> ended;
    {
        std::lock_guard guard(lock_);
        ended.swap(associations_);
    }
    asio::post(context_, [ended] {
        for (const Association& association : ended) {
            std::error_code ignored;
            association.relay->close(ignored);
            association.control->close(ignored);
        }
    });
}

void ScriptedProxy::holdAssociationReplies() {
    std::lock_guard guard(lock_);
    holdAssociations_ = true;
}

void ScriptedProxy::releaseAssociationReplies() {
    {
        std::lock_guard guard(lock_);
        holdAssociations_ = false;
    }
    // On the proxy's thread, after any reply that saw the hold has started waiting.
    asio::post(context_, [this] { release_.cancel(); });
}

std::vector<std::string> ScriptedProxy::targets() const {
    std::lock_guard guard(lock_);
    return targets_;
}

std::size_t ScriptedProxy::associations() const {
    std::lock_guard guard(lock_);
    return associationCount_;
}

std::vector<ScriptedProxy::Datagram> ScriptedProxy::datagrams() const {
    std::lock_guard guard(lock_);
    return datagrams_;
}

std::uint16_t ScriptedProxy::closedPort() {
    asio::io_context context;
    asio::ip::tcp::acceptor acceptor(context, {asio::ip::address_v4::loopback(), 0});
    return acceptor.local_endpoint().port();
}

asio::awaitable<void> ScriptedProxy::acceptLoop() {
    for (;;) {
        auto client = std::make_shared<asio::ip::tcp::socket>(context_);
        co_await acceptor_.async_accept(*client, use_awaitable);
        auto serve = kind_ == Kind::socks5 ? serveSOCKS5(client) : serveHTTP(client);
        asio::co_spawn(context_, std::move(serve), asio::detached);
    }
}

asio::awaitable<void> ScriptedProxy::serveSOCKS5(std::shared_ptr<asio::ip::tcp::socket> client) {
    Bytes head(2);
    co_await asio::async_read(*client, asio::buffer(head), use_awaitable);
    Bytes methods(head[1]);
    co_await asio::async_read(*client, asio::buffer(methods), use_awaitable);
    const Bytes choice{5, 0};
    co_await asio::async_write(*client, asio::buffer(choice), use_awaitable);

    Bytes request(5);
    co_await asio::async_read(*client, asio::buffer(request), use_awaitable);
    const std::size_t rest = request[3] == 1 ? 5 : request[3] == 4 ? 17 : request[4] + 2u;
    request.resize(5 + rest);
    co_await asio::async_read(*client, asio::buffer(request.data() + 5, rest), use_awaitable);
    std::size_t at = 3;
    const auto [host, port] = readAddress(request, at);
    if (request[1] == 3) co_return co_await associate(client);

    bool refuse = false;
    Bytes reply{5, 0, 0, 1, 127, 0, 0, 1, 0, 0};
    {
        std::lock_guard guard(lock_);
        targets_.push_back(host + ":" + std::to_string(port));
        refuse = refuse_;
        if (!refuse) reply.insert(reply.end(), banner_.begin(), banner_.end());
    }
    if (refuse) reply[1] = 5;
    if (!refuse && host == "127.0.0.1") {
        co_await asio::async_write(*client, asio::buffer(reply), use_awaitable);
        co_return co_await forward(client, port);
    }
    co_await asio::async_write(*client, asio::buffer(reply), use_awaitable);
    if (!refuse) co_await echo(client, {});
}

asio::awaitable<void> ScriptedProxy::forward(std::shared_ptr<asio::ip::tcp::socket> client, std::uint16_t port) {
    auto next = std::make_shared<asio::ip::tcp::socket>(context_);
    co_await next->async_connect({asio::ip::address_v4::loopback(), port}, use_awaitable);
    asio::co_spawn(context_, copy(client, next), asio::detached);
    co_await copy(next, client);
}

asio::awaitable<void> ScriptedProxy::copy(std::shared_ptr<asio::ip::tcp::socket> from,
                                          std::shared_ptr<asio::ip::tcp::socket> to) {
    Bytes buffer(16384);
    for (;;) {
        std::error_code error;
        const std::size_t length =
            co_await from->async_read_some(asio::buffer(buffer), asio::redirect_error(use_awaitable, error));
        if (error) {
            to->shutdown(asio::ip::tcp::socket::shutdown_send, error);
            co_return;
        }
        co_await asio::async_write(*to, asio::buffer(buffer.data(), length), use_awaitable);
    }
}

asio::awaitable<void> ScriptedProxy::serveHTTP(std::shared_ptr<asio::ip::tcp::socket> client) {
    asio::streambuf buffer;
    const std::size_t headLength = co_await asio::async_read_until(*client, buffer, "\r\n\r\n", use_awaitable);
    std::string head(asio::buffers_begin(buffer.data()), asio::buffers_begin(buffer.data()) + headLength);
    buffer.consume(headLength);
    Bytes leftover(asio::buffers_begin(buffer.data()), asio::buffers_end(buffer.data()));
    const std::string target = head.substr(8, head.find(' ', 8) - 8);  // after "CONNECT "
    bool refuse = false;
    std::string reply = "HTTP/1.1 200 Connection established\r\n\r\n";
    Bytes banner;
    {
        std::lock_guard guard(lock_);
        targets_.push_back(target);
        refuse = refuse_;
        banner = banner_;
    }
    if (refuse) reply = "HTTP/1.1 502 Bad Gateway\r\n\r\n";
    Bytes out(reply.begin(), reply.end());
    if (!refuse) out.insert(out.end(), banner.begin(), banner.end());
    co_await asio::async_write(*client, asio::buffer(out), use_awaitable);
    if (!refuse) co_await echo(client, std::move(leftover));
}

asio::awaitable<void> ScriptedProxy::echo(std::shared_ptr<asio::ip::tcp::socket> client, Bytes first) {
    if (!first.empty()) co_await asio::async_write(*client, asio::buffer(first), use_awaitable);
    Bytes buffer(16384);
    for (;;) {
        std::error_code error;
        const std::size_t length =
            co_await client->async_read_some(asio::buffer(buffer), asio::redirect_error(use_awaitable, error));
        if (error) {
            client->shutdown(asio::ip::tcp::socket::shutdown_send, error);
            co_return;
        }
        co_await asio::async_write(*client, asio::buffer(buffer.data(), length), use_awaitable);
    }
}

asio::awaitable<void> ScriptedProxy::associate(std::shared_ptr<asio::ip::tcp::socket> control) {
    bool refuse = false;
    bool hold = false;
    {
        std::lock_guard guard(lock_);
        ++associationRequests_;
        refuse = refuseAssociations_;
        hold = holdAssociations_;
    }
    if (hold) {
        std::error_code released;
        co_await release_.async_wait(asio::redirect_error(use_awaitable, released));
    }
    if (refuse) {
        const Bytes rejection{5, 7, 0, 1, 0, 0, 0, 0, 0, 0};
        co_await asio::async_write(*control, asio::buffer(rejection), use_awaitable);
        co_return;
    }
    auto relay = std::make_shared<asio::ip::udp::socket>(
        context_, asio::ip::udp::endpoint(asio::ip::address_v4::loopback(), 0));
    const std::uint16_t port = relay->local_endpoint().port();
    {
        std::lock_guard guard(lock_);
        associations_.push_back({control, relay});
        ++associationCount_;
    }
    const Bytes reply{5, 0, 0, 1, 127, 0, 0, 1, static_cast<std::uint8_t>(port >> 8),
                      static_cast<std::uint8_t>(port & 0xFF)};
    co_await asio::async_write(*control, asio::buffer(reply), use_awaitable);
    asio::co_spawn(context_, relayLoop(relay), asio::detached);
    // Hold the control connection until the client or the test ends it.
    Bytes sink(1);
    std::error_code error;
    while (!error) co_await control->async_read_some(asio::buffer(sink), asio::redirect_error(use_awaitable, error));
}

asio::awaitable<void> ScriptedProxy::relayLoop(std::shared_ptr<asio::ip::udp::socket> relay) {
    Bytes buffer(65536);
    for (;;) {
        asio::ip::udp::endpoint client;
        std::error_code error;
        const std::size_t length = co_await relay->async_receive_from(asio::buffer(buffer), client,
                                                                      asio::redirect_error(use_awaitable, error));
        if (error) co_return;
        const Bytes datagram(buffer.begin(), buffer.begin() + length);
        std::size_t at = 3;
        const auto [host, port] = readAddress(datagram, at);
        bool fragment = false;
        std::optional<std::vector<Datagram>> replies;
        {
            std::lock_guard guard(lock_);
            datagrams_.push_back({host, port, Bytes(datagram.begin() + at, datagram.end())});
            fragment = fragment_;
            replies = replies_;
        }
        if (replies) {
            for (const Datagram& reply : *replies) {
                const Bytes out = encapsulated(reply);
                co_await relay->async_send_to(asio::buffer(out), client, asio::redirect_error(use_awaitable, error));
            }
            continue;
        }
        if (fragment) {
            Bytes piece = datagram;
            piece[2] = 1;
            co_await relay->async_send_to(asio::buffer(piece), client, asio::redirect_error(use_awaitable, error));
        }
        // The echo comes back as sent by the destination: the same header.
        co_await relay->async_send_to(asio::buffer(datagram), client, asio::redirect_error(use_awaitable, error));
    }
}

}  // namespace corvane::tunnel::testing
