// The proxy client against real proxy daemons, each started by its fixture
// on a free loopback port and stopped by process id. Targets are servers of
// the test on 127.0.0.1; no name is resolved and nothing leaves the machine.
#include "CorvaneCore/Proxy/HTTPConnect.hpp"
#include "CorvaneCore/Proxy/ProxyClient.hpp"
#include "CorvaneCore/Proxy/SOCKS5.hpp"
#include "CorvaneCore/Proxy/UDPAssociation.hpp"

#include "ClientRunner.hpp"
#include "ErrorOf.hpp"
#include "PeerProcess.hpp"
#include "ScriptedServer.hpp"

#include <asio/read.hpp>
#include <asio/write.hpp>
#include <gtest/gtest.h>

#include <memory>

namespace corvane {
namespace {

using testing::PeerConnection;
using testing::PeerProcess;
using testing::ScriptedServer;
using testing::TemporaryFolder;

const ProxyCredentials alice{"alice", "s3cret"};

std::string echoThrough(ProxyConnection& connection, const std::string& message) {
    asio::write(connection.socket, asio::buffer(message));
    std::string answer(message.size(), '\0');
    asio::read(connection.socket, asio::buffer(answer));
    return answer;
}

// One daemon per fixture, shared by its tests.
class PeerFixture : public ::testing::Test {
protected:
    void SetUp() override { ProxyClient::connectTimeout = 2.0; }
    void TearDown() override { ProxyClient::connectTimeout = 10.0; }

    static void start(std::unique_ptr<PeerProcess>& peer, std::unique_ptr<TemporaryFolder>& folder,
                      const std::string& program, const std::vector<std::string>& arguments, std::uint16_t port) {
        if (!PeerProcess::installed(program)) return;
        peer = std::make_unique<PeerProcess>(program, arguments, port, folder->path() / "peer.log");
    }

    static std::string skipReason(const std::unique_ptr<PeerProcess>& peer, const std::string& program,
                                  const std::string& package) {
        if (!PeerProcess::installed(program)) return program + " is not installed (package " + package + ")";
        if (!peer || !peer->ready()) return program + " did not start on loopback";
        return {};
    }

    ProxyConnection connect(std::vector<ProxyServer> chain, std::uint16_t targetPort) {
        return runner.run([&](asio::any_io_executor executor) {
            return ProxyClient::establishTCPChain(chain, "127.0.0.1", targetPort, executor);
        });
    }

    testing::ClientRunner runner;
    ScriptedServer echo{[](PeerConnection& peer) { peer.echoUntilClosed(); }};
};

class MicrosocksTest : public PeerFixture {
protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<TemporaryFolder>();
        openPort = testing::closedPort();
        start(open, folder, program, {"-i", "127.0.0.1", "-p", std::to_string(openPort)}, openPort);
        authPort = testing::closedPort();
        start(authenticated, folder, program,
              {"-i", "127.0.0.1", "-p", std::to_string(authPort), "-u", "alice", "-P", "s3cret"}, authPort);
    }
    static void TearDownTestSuite() {
        open.reset();
        authenticated.reset();
        folder.reset();
    }
    void SetUp() override {
        PeerFixture::SetUp();
        const std::string reason = skipReason(open, program, "microsocks") + skipReason(authenticated, program, "microsocks");
        if (!reason.empty()) GTEST_SKIP() << reason;
    }

    static inline const std::string program = "/usr/bin/microsocks";
    static inline std::unique_ptr<TemporaryFolder> folder;
    static inline std::unique_ptr<PeerProcess> open, authenticated;
    static inline std::uint16_t openPort = 0, authPort = 0;
};

TEST_F(MicrosocksTest, ConnectCarriesTheStream) {
    ProxyConnection connection = connect({testing::socksProxy(openPort)}, echo.port());
    EXPECT_EQ(echoThrough(connection, "hello through microsocks"), "hello through microsocks");
}

TEST_F(MicrosocksTest, UserPassAuthentication) {
    ProxyConnection connection = connect({testing::socksProxy(authPort, alice)}, echo.port());
    EXPECT_EQ(echoThrough(connection, "authenticated"), "authenticated");

    EXPECT_EQ(testing::errorOf<SOCKS5::ProtocolError>(
                  [&] { connect({testing::socksProxy(authPort, ProxyCredentials{"alice", "wrong"})}, echo.port()); }),
              SOCKS5::ProtocolError::authenticationFailed());
    EXPECT_EQ(testing::errorOf<SOCKS5::ProtocolError>([&] { connect({testing::socksProxy(authPort)}, echo.port()); }),
              SOCKS5::ProtocolError::noAcceptableAuthMethod());
}

TEST_F(MicrosocksTest, ClosedTargetAndRefusedUDP) {
    EXPECT_EQ(testing::errorOf<SOCKS5::ProtocolError>(
                  [&] { connect({testing::socksProxy(openPort)}, testing::closedPort()); }),
              SOCKS5::ProtocolError::connectFailed(5));
    EXPECT_EQ(testing::errorOf<SOCKS5::ProtocolError>([&] {
                  runner.run([&](asio::any_io_executor executor) {
                      return ProxyClient::establishUDPAssociation(testing::socksProxy(openPort), executor);
                  });
              }),
              SOCKS5::ProtocolError::connectFailed(7));
}

class DanteTest : public PeerFixture {
protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<TemporaryFolder>();
        port = testing::closedPort();
        const auto config = folder->write("danted.conf",
                                          "logoutput: " + (folder->path() / "danted.log").string() +
                                              "\n"
                                              "internal: 127.0.0.1 port = " +
                                              std::to_string(port) +
                                              "\n"
                                              "external: lo\n"
                                              "clientmethod: none\n"
                                              "socksmethod: none\n"
                                              "user.privileged: root\n"
                                              "user.unprivileged: nobody\n"
                                              "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                                              "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect "
                                              "udpassociate }\n"
                                              "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: udpreply }\n"
                                              "socks block { from: 0/0 to: 0/0 log: error connect }\n");
        start(dante, folder, program, {"-f", config.string(), "-p", (folder->path() / "danted.pid").string()}, port);
    }
    static void TearDownTestSuite() {
        dante.reset();
        folder.reset();
    }
    void SetUp() override {
        PeerFixture::SetUp();
        const std::string reason = skipReason(dante, program, "dante-server");
        if (!reason.empty()) GTEST_SKIP() << reason;
    }

    static inline const std::string program = "/usr/sbin/danted";
    static inline std::unique_ptr<TemporaryFolder> folder;
    static inline std::unique_ptr<PeerProcess> dante;
    static inline std::uint16_t port = 0;
};

TEST_F(DanteTest, ConnectCarriesTheStream) {
    ProxyConnection connection = connect({testing::socksProxy(port)}, echo.port());
    EXPECT_EQ(echoThrough(connection, "hello through dante"), "hello through dante");
}

TEST_F(DanteTest, UDPAssociationRoundTrip) {
    testing::UDPEchoServer udpEcho;
    auto association = runner.run([&](asio::any_io_executor executor) {
        return ProxyClient::establishUDPAssociation(testing::socksProxy(port), executor);
    });
    runner.run([&](asio::any_io_executor) {
        return association->send({'p', 'i', 'n', 'g'}, "127.0.0.1", udpEcho.port());
    });
    const SOCKS5::UDPDatagram reply = runner.run([&](asio::any_io_executor) { return association->receive(); });
    EXPECT_EQ(reply, (SOCKS5::UDPDatagram{"127.0.0.1", udpEcho.port(), {'e', 'c', 'h', 'o', ':', 'p', 'i', 'n', 'g'}}));
    association->cancel();
    runner.drain();
}

class TinyproxyTest : public PeerFixture {
protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<TemporaryFolder>();
        port = testing::closedPort();
        const auto config = folder->write(
            "tinyproxy.conf", "User nobody\nGroup nogroup\nListen 127.0.0.1\nPort " + std::to_string(port) +
                                  "\nTimeout 60\nLogFile \"" + (folder->path() / "tinyproxy.log").string() +
                                  "\"\nLogLevel Info\nPidFile \"" + (folder->path() / "tinyproxy.pid").string() +
                                  "\"\nMaxClients 20\nAllow 127.0.0.1\nBasicAuth alice s3cret\nDisableViaHeader Yes\n");
        start(tinyproxy, folder, program, {"-d", "-c", config.string()}, port);
    }
    static void TearDownTestSuite() {
        tinyproxy.reset();
        folder.reset();
    }
    void SetUp() override {
        PeerFixture::SetUp();
        const std::string reason = skipReason(tinyproxy, program, "tinyproxy");
        if (!reason.empty()) GTEST_SKIP() << reason;
    }

    static inline const std::string program = "/usr/bin/tinyproxy";
    static inline std::unique_ptr<TemporaryFolder> folder;
    static inline std::unique_ptr<PeerProcess> tinyproxy;
    static inline std::uint16_t port = 0;
};

TEST_F(TinyproxyTest, ConnectWithBasicAuthorization) {
    ProxyConnection connection = connect({testing::httpProxy(port, alice)}, echo.port());
    EXPECT_TRUE(connection.initialData.empty());
    EXPECT_EQ(echoThrough(connection, "hello through tinyproxy"), "hello through tinyproxy");
}

TEST_F(TinyproxyTest, WrongOrMissingCredentials) {
    EXPECT_EQ(testing::errorOf<HTTPConnect::ProtocolError>(
                  [&] { connect({testing::httpProxy(port, ProxyCredentials{"alice", "wrong"})}, echo.port()); }),
              HTTPConnect::ProtocolError::connectFailed(401));
    EXPECT_EQ(testing::errorOf<HTTPConnect::ProtocolError>([&] { connect({testing::httpProxy(port)}, echo.port()); }),
              HTTPConnect::ProtocolError::connectFailed(407));
}

TEST_F(TinyproxyTest, BannerOfATargetThatSpeaksFirstIsKept) {
    const std::string banner = "SSH-2.0-Banner\r\n\xFF\xFE\x01";
    ScriptedServer speaksFirst([&](PeerConnection& peer) {
        peer.write(banner);
        peer.stall();
    });
    ProxyConnection connection = connect({testing::httpProxy(port, alice)}, speaksFirst.port());
    std::string received(connection.initialData.begin(), connection.initialData.end());
    std::string rest(banner.size() - received.size(), '\0');
    asio::read(connection.socket, asio::buffer(rest));
    EXPECT_EQ(received + rest, banner);
}

// SOCKS5 in front of HTTP CONNECT: tinyproxy's handshake runs through the
// tunnel microsocks opened.
TEST_F(TinyproxyTest, ChainThroughMicrosocks) {
    if (!PeerProcess::installed("/usr/bin/microsocks")) GTEST_SKIP() << "microsocks is not installed (package microsocks)";
    TemporaryFolder folder;
    const std::uint16_t socksPort = testing::closedPort();
    PeerProcess microsocks("/usr/bin/microsocks", {"-i", "127.0.0.1", "-p", std::to_string(socksPort)}, socksPort,
                           folder.path() / "microsocks.log");
    if (!microsocks.ready()) GTEST_SKIP() << "microsocks did not start on loopback";
    ProxyConnection connection = connect({testing::socksProxy(socksPort), testing::httpProxy(port, alice)}, echo.port());
    EXPECT_EQ(echoThrough(connection, "two hops"), "two hops");
}

}  // namespace
}  // namespace corvane
