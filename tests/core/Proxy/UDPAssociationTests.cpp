#include "CorvaneCore/Proxy/ProxyClient.hpp"
#include "CorvaneCore/Proxy/SOCKS5.hpp"
#include "CorvaneCore/Proxy/UDPAssociation.hpp"

#include "ClientRunner.hpp"
#include "ErrorOf.hpp"
#include "ScriptedServer.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace corvane {
namespace {

using testing::Bytes;
using testing::PeerConnection;
using testing::ScriptedServer;
using testing::socksProxy;

// The relay side of a fake SOCKS5 UDP association: a UDP socket on a
// loopback address that records where the client's datagrams come from.
class FakeRelay {
public:
    explicit FakeRelay(const char* address) {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, address, &local.sin_addr);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) throw std::runtime_error("bind");
        socklen_t length = sizeof local;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
        port_ = ntohs(local.sin_port);
    }
    ~FakeRelay() { close(fd_); }

    std::uint16_t port() const { return port_; }

    Bytes receive() {
        pollfd entry{fd_, POLLIN, 0};
        if (poll(&entry, 1, 3000) != 1) return {};
        Bytes bytes(65536);
        socklen_t length = sizeof client_;
        const ssize_t got = recvfrom(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&client_), &length);
        bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return bytes;
    }

    void sendBack(const Bytes& datagram) {
        sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&client_), sizeof client_);
    }

private:
    int fd_;
    std::uint16_t port_ = 0;
    sockaddr_in client_{};
};

Bytes boundReply(Bytes address, std::uint16_t port) {
    Bytes reply;
    reply.reserve(address.size() + 5);
    for (std::uint8_t byte : {0x05, 0x00, 0x00}) reply.push_back(byte);
    for (std::uint8_t byte : address) reply.push_back(byte);
    reply.push_back(static_cast<std::uint8_t>(port >> 8));
    reply.push_back(static_cast<std::uint8_t>(port & 0xFF));
    return reply;
}

// A SOCKS5 proxy that grants UDP ASSOCIATE with the given reply, then holds
// the control connection until the client closes it.
ScriptedServer::Script associateScript(std::function<Bytes()> reply, bool* closedByClient) {
    return [reply, closedByClient](PeerConnection& peer) {
        EXPECT_EQ(peer.read(3), (Bytes{0x05, 0x01, 0x00}));
        peer.write(Bytes{0x05, 0x00});
        EXPECT_EQ(peer.read(10), (Bytes{0x05, 0x03, 0x00, 0x01, 0, 0, 0, 0, 0, 0}));
        peer.write(reply());
        *closedByClient = peer.sawEndOfStream();
    };
}

class UDPAssociationTest : public ::testing::Test {
protected:
    void SetUp() override { ProxyClient::connectTimeout = 0.2; }
    void TearDown() override { ProxyClient::connectTimeout = 10.0; }

    std::shared_ptr<UDPAssociation> associate(const ProxyServer& proxy) {
        return runner.run([&](asio::any_io_executor executor) {
            return ProxyClient::establishUDPAssociation(proxy, executor);
        });
    }

    SOCKS5::UDPDatagram receive(const std::shared_ptr<UDPAssociation>& association) {
        return runner.run([&](asio::any_io_executor) { return association->receive(); });
    }

    testing::ClientRunner runner;
};

TEST_F(UDPAssociationTest, RelayAddressComesFromTheReplyOrIsTheProxyItself) {
    struct Case {
        std::string name;
        const char* relayAddress;
        Bytes boundAddress;
    };
    const Case cases[] = {
        {"0.0.0.0 means the proxy's host", "127.0.0.1", {0x01, 0, 0, 0, 0}},
        {":: means the proxy's host", "127.0.0.1", {0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"a named address is used as it is", "127.0.0.2", {0x01, 127, 0, 0, 2}},
    };
    for (const auto& c : cases) {
        FakeRelay relay(c.relayAddress);
        bool closedByClient = false;
        {
            ScriptedServer proxy(associateScript([&] { return boundReply(c.boundAddress, relay.port()); },
                                                 &closedByClient));
            auto association = associate(socksProxy(proxy.port()));
            runner.run([&](asio::any_io_executor) {
                return association->send(Bytes{0xAA, 0xBB, 0xCC}, "10.0.0.53", 53);
            });
            EXPECT_EQ(relay.receive(), (Bytes{0x00, 0x00, 0x00, 0x01, 0x0A, 0x00, 0x00, 0x35, 0x00, 0x35, 0xAA, 0xBB,
                                              0xCC}))
                << c.name;
            association->cancel();
            runner.drain();
            EXPECT_FALSE(association->relay().is_open());
            EXPECT_FALSE(association->control().is_open());
        }
        EXPECT_TRUE(closedByClient) << c.name;
    }
}

TEST_F(UDPAssociationTest, ReceiveDecodesEachDatagramAndSurvivesABadOne) {
    FakeRelay relay("127.0.0.1");
    bool closedByClient = false;
    ScriptedServer proxy(associateScript([&] { return boundReply({0x01, 127, 0, 0, 1}, relay.port()); },
                                         &closedByClient));
    auto association = associate(socksProxy(proxy.port()));
    runner.run([&](asio::any_io_executor) { return association->send(Bytes{'q'}, "dns.test", 53); });
    ASSERT_FALSE(relay.receive().empty());

    relay.sendBack(Bytes{0x00, 0x00, 0x01, 0x01, 10, 0, 0, 53, 0x00, 0x35, 'x'});
    EXPECT_EQ(testing::errorOf<SOCKS5::ProtocolError>([&] { receive(association); }),
              SOCKS5::ProtocolError::fragmentationUnsupported());
    relay.sendBack(Bytes{0x00, 0x00, 0x00, 0x01, 10, 0, 0, 53, 0x00, 0x35});
    EXPECT_EQ(receive(association), (SOCKS5::UDPDatagram{"10.0.0.53", 53, {}}));
    relay.sendBack(Bytes{0x00, 0x00, 0x00, 0x03, 0x08, 'd', 'n', 's', '.', 't', 'e', 's', 't', 0x00, 0x35, 'a'});
    EXPECT_EQ(receive(association), (SOCKS5::UDPDatagram{"dns.test", 53, {'a'}}));
    relay.sendBack(Bytes{});
    const auto empty = testing::errorOf<ProxyClientError>([&] { receive(association); });
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->kind(), ProxyClientError::Kind::connectionClosed);
    relay.sendBack(Bytes{0x00, 0x00, 0x00, 0x01, 10, 0, 0, 53});
    EXPECT_EQ(testing::errorOf<SOCKS5::ProtocolError>([&] { receive(association); }),
              SOCKS5::ProtocolError::truncatedResponse());
    association->cancel();
    runner.drain();
}

TEST_F(UDPAssociationTest, CancelFromAnotherThreadEndsAPendingReceive) {
    FakeRelay relay("127.0.0.1");
    bool closedByClient = false;
    ScriptedServer proxy(associateScript([&] { return boundReply({0x01, 127, 0, 0, 1}, relay.port()); },
                                         &closedByClient));
    auto association = associate(socksProxy(proxy.port()));
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        association->cancel();
    });
    const auto error = testing::errorOf<ProxyClientError>([&] { receive(association); });
    canceller.join();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ProxyClientError::Kind::connectionClosed);
}

TEST_F(UDPAssociationTest, RefusalsCloseTheControlConnection) {
    bool closedByClient = false;
    {
        ScriptedServer proxy(associateScript([] { return Bytes{0x05, 0x07, 0x00, 0x01, 0, 0, 0, 0, 0, 0}; },
                                             &closedByClient));
        EXPECT_EQ(testing::errorOf<SOCKS5::ProtocolError>([&] { associate(socksProxy(proxy.port())); }),
                  SOCKS5::ProtocolError::connectFailed(7));
    }
    EXPECT_TRUE(closedByClient);
    closedByClient = false;
    {
        ScriptedServer proxy(associateScript([] { return boundReply({0x01, 127, 0, 0, 1}, 0); }, &closedByClient));
        const auto error = testing::errorOf<ProxyClientError>([&] { associate(socksProxy(proxy.port())); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), ProxyClientError::Kind::invalidProxyEndpoint);
    }
    EXPECT_TRUE(closedByClient);
}

TEST_F(UDPAssociationTest, HTTPProxyCannotCarryUDPAndIsNeverContacted) {
    ScriptedServer proxy([](PeerConnection&) {});
    const auto error = testing::errorOf<ProxyClientError>(
        [&] { associate(testing::httpProxy(proxy.port())); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ProxyClientError::Kind::udpUnsupported);
    EXPECT_EQ(error->errorDescription(), "This proxy type cannot carry UDP.");
    EXPECT_EQ(proxy.acceptedCount(), 0);
}

TEST_F(UDPAssociationTest, BothSocketsCarryTheSocketMark) {
    if (geteuid() != 0) GTEST_SKIP() << "setting SO_MARK needs root (CAP_NET_ADMIN)";
    FakeRelay relay("127.0.0.1");
    bool closedByClient = false;
    ScriptedServer proxy(associateScript([&] { return boundReply({0x01, 0, 0, 0, 0}, relay.port()); },
                                         &closedByClient));
    ProxyClient::socketMark = 0xC0A;
    auto association = associate(socksProxy(proxy.port()));
    ProxyClient::socketMark = 0;
    for (int fd : {association->control().native_handle(), association->relay().native_handle()}) {
        std::uint32_t mark = 0;
        socklen_t length = sizeof mark;
        ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_MARK, &mark, &length), 0);
        EXPECT_EQ(mark, 0xC0Au);
    }
    association->cancel();
    runner.drain();
}

}  // namespace
}  // namespace corvane
