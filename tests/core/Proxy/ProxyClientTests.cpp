#include "CorvaneCore/Proxy/HTTPConnect.hpp"
#include "CorvaneCore/Proxy/ProxyClient.hpp"
#include "CorvaneCore/Proxy/SOCKS5.hpp"

#include "ClientRunner.hpp"
#include "ErrorOf.hpp"
#include "ScriptedServer.hpp"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/read.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace corvane {
namespace {

using namespace std::chrono_literals;

using testing::Bytes;
using testing::bytesOf;
using testing::PeerConnection;
using testing::ScriptedServer;
using testing::httpProxy;
using testing::socksProxy;

const Bytes noAuthGreeting{0x05, 0x01, 0x00};
const Bytes userPassGreeting{0x05, 0x02, 0x00, 0x02};
const Bytes successReply{0x05, 0x00, 0x00, 0x01, 0x7F, 0x00, 0x00, 0x01, 0x00, 0x50};

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A SOCKS5 proxy without authentication that accepts any CONNECT.
void acceptSOCKS5Connect(PeerConnection& peer) {
    EXPECT_EQ(peer.read(3), noAuthGreeting);
    peer.write(Bytes{0x05, 0x00});
    const Bytes head = peer.read(4);
    if (head[3] == 0x01) peer.read(6);
    if (head[3] == 0x04) peer.read(18);
    if (head[3] == 0x03) peer.read(peer.read(1)[0] + 2u);
    peer.write(successReply);
}

std::string readAll(asio::ip::tcp::socket& socket, std::size_t count) {
    std::string text(count, '\0');
    asio::read(socket, asio::buffer(text));
    return text;
}

class ProxyClientTest : public ::testing::Test {
protected:
    void SetUp() override { ProxyClient::connectTimeout = 0.2; }
    void TearDown() override { ProxyClient::connectTimeout = 10.0; }

    ProxyConnection connect(std::vector<ProxyServer> chain, std::string host = "10.1.2.3", std::uint16_t port = 443) {
        return runner.run([&](asio::any_io_executor executor) {
            return ProxyClient::establishTCPChain(chain, host, port, executor);
        });
    }

    template <typename E>
    std::optional<E> connectError(std::vector<ProxyServer> chain, std::string host = "10.1.2.3") {
        return testing::errorOf<E>([&] { connect(std::move(chain), host); });
    }

    testing::ClientRunner runner;
};

TEST_F(ProxyClientTest, SOCKS5WithoutCredentialsSendsExactBytesAndLeavesTheStreamUnread) {
    ScriptedServer proxy([](PeerConnection& peer) {
        EXPECT_EQ(peer.read(3), noAuthGreeting);
        peer.write(Bytes{0x05, 0x00});
        EXPECT_EQ(peer.read(10), (Bytes{0x05, 0x01, 0x00, 0x01, 0x0A, 0x01, 0x02, 0x03, 0x01, 0xBB}));
        peer.write(successReply + bytesOf("target speaks"));
        EXPECT_EQ(peer.read(4), bytesOf("ping"));
    });
    ProxyConnection connection = connect({socksProxy(proxy.port())});
    EXPECT_TRUE(connection.initialData.empty());
    // A relay's small writes go out at once, not after the previous one's ACK.
    asio::ip::tcp::no_delay noDelay;
    connection.socket.get_option(noDelay);
    EXPECT_TRUE(noDelay.value());
    EXPECT_EQ(readAll(connection.socket, 13), "target speaks");
    asio::write(connection.socket, asio::buffer(std::string("ping")));
}

TEST_F(ProxyClientTest, SOCKS5WithCredentialsAndANameReplyArrivingByteByByte) {
    ScriptedServer proxy([](PeerConnection& peer) {
        EXPECT_EQ(peer.read(4), userPassGreeting);
        peer.write(Bytes{0x05, 0x02});
        EXPECT_EQ(peer.read(14), bytesOf("\x01\x05" "alice\x06" "s3cret"));
        peer.write(Bytes{0x01, 0x00});
        EXPECT_EQ(peer.read(18), Bytes({0x05, 0x01, 0x00, 0x03, 0x0B}) + bytesOf("target.test") + Bytes({0x1F, 0x90}));
        for (std::uint8_t byte : Bytes{0x05, 0x00, 0x00, 0x03, 0x04, 'h', 'o', 's', 't', 0x00, 0x50, '!'}) {
            peer.write(Bytes{byte});
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    ProxyConnection connection = connect({socksProxy(proxy.port(), ProxyCredentials{"alice", "s3cret"})},
                                         "target.test", 8080);
    EXPECT_EQ(readAll(connection.socket, 1), "!");
}

TEST_F(ProxyClientTest, SOCKS5RefusalsKeepTheirTypeAndCloseTheConnection) {
    struct Case {
        std::string name;
        std::optional<ProxyCredentials> credentials;
        std::function<void(PeerConnection&)> script;
        SOCKS5::ProtocolError error;
    };
    const Case cases[] = {
        {"user/pass selected without credentials", std::nullopt,
         [](PeerConnection& peer) {
             peer.read(3);
             peer.write(Bytes{0x05, 0x02});
         },
         SOCKS5::ProtocolError::authenticationFailed()},
        {"wrong password", ProxyCredentials{"alice", "wrong"},
         [](PeerConnection& peer) {
             peer.read(4);
             peer.write(Bytes{0x05, 0x02});
             peer.read(13);
             peer.write(Bytes{0x01, 0x01});
         },
         SOCKS5::ProtocolError::authenticationFailed()},
        {"no acceptable method", std::nullopt,
         [](PeerConnection& peer) {
             peer.read(3);
             peer.write(Bytes{0x05, 0xFF});
         },
         SOCKS5::ProtocolError::noAcceptableAuthMethod()},
        {"connection refused by the target", std::nullopt,
         [](PeerConnection& peer) {
             peer.read(3);
             peer.write(Bytes{0x05, 0x00});
             peer.read(10);
             peer.write(Bytes{0x05, 0x05, 0x00, 0x01});
         },
         SOCKS5::ProtocolError::connectFailed(5)},
        {"unknown address type", std::nullopt,
         [](PeerConnection& peer) {
             peer.read(3);
             peer.write(Bytes{0x05, 0x00});
             peer.read(10);
             peer.write(Bytes{0x05, 0x00, 0x00, 0x02, 0, 0, 0, 0});
         },
         SOCKS5::ProtocolError::invalidResponse()},
    };
    for (const auto& c : cases) {
        ScriptedServer proxy([&](PeerConnection& peer) {
            c.script(peer);
            EXPECT_TRUE(peer.sawEndOfStream()) << c.name;
        });
        EXPECT_EQ(connectError<SOCKS5::ProtocolError>({socksProxy(proxy.port(), c.credentials)}), c.error) << c.name;
    }
}

TEST_F(ProxyClientTest, ChainSendsEachHopThroughThePreviousOne) {
    ScriptedServer first([](PeerConnection& peer) {
        EXPECT_EQ(peer.read(3), noAuthGreeting);
        peer.write(Bytes{0x05, 0x00});
        // Asked for the second proxy, by name.
        EXPECT_EQ(peer.read(19), Bytes({0x05, 0x01, 0x00, 0x03, 0x0C}) + bytesOf("proxy-b.test") + Bytes({0x0C, 0x38}));
        peer.write(successReply);
        // Now the second proxy's handshake arrives through the tunnel.
        EXPECT_EQ(peer.readUntil("\r\n\r\n"),
                  "CONNECT 10.9.8.7:22 HTTP/1.1\r\nHost: 10.9.8.7:22\r\nProxy-Connection: keep-alive\r\n"
                  "Proxy-Authorization: Basic YWxpY2U6czNjcmV0\r\n\r\n");
        peer.write("HTTP/1.1 200 Connection established\r\n\r\nSSH-2.0-Banner\r\n\xFF\xFE");
    });
    ProxyServer second = testing::makeProxy(ProxyProtocol::httpConnect, 3128, ProxyCredentials{"alice", "s3cret"},
                                            "proxy-b.test");
    ProxyConnection connection = connect({socksProxy(first.port()), second}, "10.9.8.7", 22);
    EXPECT_EQ(connection.initialData, bytesOf("SSH-2.0-Banner\r\n\xFF\xFE"));
}

TEST_F(ProxyClientTest, BytesAfterAnHTTPHopFeedTheNextHop) {
    ScriptedServer first([](PeerConnection& peer) {
        EXPECT_EQ(peer.readUntil("\r\n\r\n"),
                  "CONNECT 127.0.0.1:1080 HTTP/1.1\r\nHost: 127.0.0.1:1080\r\nProxy-Connection: keep-alive\r\n\r\n");
        // The second proxy answers the greeting before it has read it.
        peer.write(bytesOf("HTTP/1.1 200 OK\r\n\r\n") + Bytes{0x05, 0x00});
        EXPECT_EQ(peer.read(3), noAuthGreeting);
        EXPECT_EQ(peer.read(10), (Bytes{0x05, 0x01, 0x00, 0x01, 0x0A, 0x01, 0x02, 0x03, 0x01, 0xBB}));
        peer.write(successReply);
    });
    ProxyConnection connection = connect({httpProxy(first.port()), socksProxy(1080)});
    EXPECT_TRUE(connection.initialData.empty());
}

TEST_F(ProxyClientTest, HTTPHeadReadUntilTheBlankLine) {
    ScriptedServer proxy([](PeerConnection& peer) {
        peer.readUntil("\r\n\r\n");
        for (char c : std::string("HTTP/1.0 200 Connection established\r\nProxy-agent: test\r\n\r\n")) {
            peer.write(std::string(1, c));
        }
        peer.write("later");
    });
    ProxyConnection connection = connect({httpProxy(proxy.port())});
    std::string received(connection.initialData.begin(), connection.initialData.end());
    received += readAll(connection.socket, 5 - received.size());
    EXPECT_EQ(received, "later");
}

TEST_F(ProxyClientTest, TargetBannerInTheSameReadAsTheReplyHeadIsHandedOn) {
    const std::string banner = "SSH-2.0-OpenSSH_9.2\r\n\xFF\xFE\x00\x01";
    ScriptedServer proxy([&](PeerConnection& peer) {
        peer.readUntil("\r\n\r\n");
        peer.write("HTTP/1.0 200 Connection established\r\nProxy-agent: tinyproxy/1.11.1\r\n\r\n" + banner);
    });
    ProxyConnection connection = connect({httpProxy(proxy.port())});
    EXPECT_EQ(connection.initialData, bytesOf(banner));
}

TEST_F(ProxyClientTest, HTTPRefusals) {
    struct Case {
        std::string name;
        std::function<void(PeerConnection&)> script;
        HTTPConnect::ProtocolError error;
    };
    const Case cases[] = {
        {"407", [](PeerConnection& peer) { peer.write("HTTP/1.0 407 Proxy Authentication Required\r\n\r\n"); },
         HTTPConnect::ProtocolError::connectFailed(407)},
        {"garbage", [](PeerConnection& peer) { peer.write("SSH-2.0-Oops\r\n\r\n"); },
         HTTPConnect::ProtocolError::malformedResponse()},
        {"endless head", [](PeerConnection& peer) { peer.write(std::string(16384, 'a')); },
         HTTPConnect::ProtocolError::headersTooLarge()},
    };
    for (const auto& c : cases) {
        ScriptedServer proxy([&](PeerConnection& peer) {
            peer.readUntil("\r\n\r\n");
            c.script(peer);
            EXPECT_TRUE(peer.sawEndOfStream()) << c.name;
        });
        EXPECT_EQ(connectError<HTTPConnect::ProtocolError>({httpProxy(proxy.port())}), c.error) << c.name;
    }
}

TEST_F(ProxyClientTest, UnsafeTargetNeverReachesTheHTTPProxy) {
    ScriptedServer proxy([](PeerConnection& peer) { EXPECT_TRUE(peer.sawEndOfStream()); });
    EXPECT_EQ(connectError<HTTPConnect::ProtocolError>({httpProxy(proxy.port())}, "evil.test\r\nX-Injected: 1"),
              HTTPConnect::ProtocolError::invalidTarget());
}

TEST_F(ProxyClientTest, StreamEndingInAHandshakeIsConnectionClosed) {
    ScriptedServer proxy([](PeerConnection& peer) {
        peer.readUntil("\r\n\r\n");
        peer.write("HTTP/1.1 200 Conn");
    });
    const auto error = connectError<ProxyClientError>({httpProxy(proxy.port())});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ProxyClientError::Kind::connectionClosed);
    EXPECT_EQ(error->errorDescription(), "The proxy closed the connection.");
}

TEST_F(ProxyClientTest, ResetInAHandshakeIsConnectionFailed) {
    ScriptedServer proxy([](PeerConnection& peer) {
        peer.read(3);
        const linger abort{1, 0};
        setsockopt(peer.fd(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    });
    const auto error = connectError<ProxyClientError>({socksProxy(proxy.port())});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ProxyClientError::Kind::connectionFailed);
    EXPECT_EQ(error->errorDescription(), "Connection error (ECONNRESET).");
}

TEST_F(ProxyClientTest, RefusedPortFailsAtOnce) {
    const auto error = connectError<ProxyClientError>({socksProxy(testing::closedPort())});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ProxyClientError::Kind::unreachable);
    EXPECT_EQ(error->errorDescription(), "Connection refused \u2014 nothing is listening on that port.");
    EXPECT_LT(runner.lastSeconds(), 0.1);
}

TEST_F(ProxyClientTest, EveryStallEndsInTimedOut) {
    struct Case {
        std::string name;
        ProxyProtocol kind;
        std::function<void(PeerConnection&)> answer;
    };
    const Case cases[] = {
        {"SOCKS5 silent", ProxyProtocol::socks5, [](PeerConnection&) {}},
        {"SOCKS5 one byte of the selection", ProxyProtocol::socks5,
         [](PeerConnection& peer) { peer.write(Bytes{0x05}); }},
        {"HTTP head without its blank line", ProxyProtocol::httpConnect,
         [](PeerConnection& peer) { peer.write("HTTP/1.1 200 OK\r\n"); }},
    };
    for (const auto& c : cases) {
        ScriptedServer proxy([&](PeerConnection& peer) {
            c.answer(peer);
            EXPECT_TRUE(peer.stall()) << c.name << ": the client kept the connection open";
        });
        const auto error = connectError<ProxyClientError>({testing::makeProxy(c.kind, proxy.port())});
        ASSERT_TRUE(error) << c.name;
        EXPECT_EQ(error->kind(), ProxyClientError::Kind::timedOut) << c.name;
        EXPECT_EQ(error->errorDescription(), "Timed out after 0 s \u2014 the proxy did not respond.");
        EXPECT_GE(runner.lastSeconds(), 0.19) << c.name;
        EXPECT_LT(runner.lastSeconds(), 1.0) << c.name;
    }
}

TEST_F(ProxyClientTest, ConnectThatNeverCompletesTimesOut) {
    testing::FullBacklogListener listener;
    const auto error = connectError<ProxyClientError>({socksProxy(listener.port())});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ProxyClientError::Kind::timedOut);
    EXPECT_GE(runner.lastSeconds(), 0.19);
    EXPECT_LT(runner.lastSeconds(), 1.0);
}

// A caller that gives the connection up (a cancellation of its coroutine) ends
// it at once, whether the connect or the handshake is running: the socket is
// closed then, not at the end of the connect time-out.
TEST_F(ProxyClientTest, ACancelledConnectionClosesItsSocketAtOnce) {
    ProxyClient::connectTimeout = 10.0;
    testing::FullBacklogListener backlog;
    std::atomic<int> closesSeen{0};
    ScriptedServer silent([&](PeerConnection& peer) {
        if (peer.stall()) ++closesSeen;
    });
    const struct {
        const char* what;
        ProxyServer proxy;
    } cases[] = {
        {"connecting", socksProxy(backlog.port())},
        {"in the SOCKS5 handshake", socksProxy(silent.port())},
        {"in the HTTP CONNECT handshake", httpProxy(silent.port())},
    };
    for (const auto& c : cases) {
        asio::cancellation_signal cancel;
        asio::steady_timer soon(runner.context, 50ms);
        soon.async_wait([&](const std::error_code&) { cancel.emit(asio::cancellation_type::terminal); });
        std::exception_ptr outcome;
        auto connect = [&]() -> asio::awaitable<void> {
            co_await ProxyClient::establishTCP("10.1.2.3", 443, c.proxy, runner.context.get_executor());
        };
        const auto done = [&](std::exception_ptr error) { outcome = error; };
        asio::co_spawn(runner.context, connect(), asio::bind_cancellation_slot(cancel.slot(), done));
        const auto start = std::chrono::steady_clock::now();
        runner.drain();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << c.what;
        ASSERT_TRUE(outcome) << c.what;
        EXPECT_THROW(std::rethrow_exception(outcome), ProxyClientError) << c.what;
    }
    // The peer sees each close well within its 3 s receive time-out.
    for (int waited = 0; closesSeen < 2 && waited < 200; ++waited) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(closesSeen, 2);
}

TEST_F(ProxyClientTest, ArgumentsThatNeedNoNetwork) {
    const auto empty = connectError<ProxyClientError>({});
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->kind(), ProxyClientError::Kind::emptyChain);
    const auto portZero = connectError<ProxyClientError>({socksProxy(0)});
    ASSERT_TRUE(portZero);
    EXPECT_EQ(portZero->kind(), ProxyClientError::Kind::invalidProxyEndpoint);
    // glibc would read "1.2.3" as 1.2.0.3; it is not an address here, so it is
    // refused as a name that cannot be resolved, without a lookup.
    const auto shortDotted = testing::errorOf<ProxyClientError>([&] {
        connect({testing::makeProxy(ProxyProtocol::socks5, 1080, std::nullopt, "1.2.3")});
    });
    ASSERT_TRUE(shortDotted);
    EXPECT_EQ(shortDotted->kind(), ProxyClientError::Kind::unreachable);
    EXPECT_EQ(shortDotted->errorDescription(), "Could not resolve the proxy host name.");
}

TEST_F(ProxyClientTest, SocketMarkIsSetBeforeConnecting) {
    if (geteuid() != 0) GTEST_SKIP() << "setting SO_MARK needs root (CAP_NET_ADMIN)";
    ScriptedServer proxy(acceptSOCKS5Connect);
    ProxyClient::socketMark = 0xC0A;
    ProxyConnection connection = connect({socksProxy(proxy.port())});
    ProxyClient::socketMark = 0;
    std::uint32_t mark = 0;
    socklen_t length = sizeof mark;
    ASSERT_EQ(getsockopt(connection.socket.native_handle(), SOL_SOCKET, SO_MARK, &mark, &length), 0);
    EXPECT_EQ(mark, 0xC0Au);
}

}  // namespace
}  // namespace corvane
