#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

#include "CorvaneCore/Proxy/ProxyClient.hpp"
#include "CorvaneCore/Proxy/ProxyClientError.hpp"
#include "Model/AsioProxyProber.hpp"
#include "Model/AsioWorker.hpp"
#include "Model/ProxyHealthMonitor.hpp"
#include "Model/QtScheduler.hpp"
#include "Support/EventLoop.hpp"
#include "Support/Profiles.hpp"
#include "core/Proxy/PeerProcess.hpp"
#include "core/Proxy/ScriptedServer.hpp"

namespace corvane::app::testing {
namespace {

using namespace std::chrono_literals;
using corvane::testing::bytesOf;
using corvane::testing::PeerConnection;
using corvane::testing::ScriptedServer;

// Lowers the proxy client's connect time-out for one test.
class ShortConnectTimeout {
public:
    explicit ShortConnectTimeout(double seconds) : previous_(ProxyClient::connectTimeout.exchange(seconds)) {}
    ~ShortConnectTimeout() { ProxyClient::connectTimeout = previous_; }

private:
    double previous_;
};

// A SOCKS5 proxy that grants the CONNECT and then waits for the client to close.
void grantingProxy(PeerConnection& connection) {
    connection.read(3);
    connection.write(corvane::testing::Bytes{5, 0});
    connection.read(10);
    connection.write(corvane::testing::Bytes{5, 0, 0, 1, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(connection.sawEndOfStream()) << "the probe keeps its connection open";
}

class AsioProxyProberTest : public ::testing::Test {
protected:
    AsioWorker worker;
    QtScheduler scheduler;

    ProxyTestState probeOnce(ProxyProber& prober, const ProxyServer& proxy, std::uint16_t targetPort = 9) {
        ProxyHealthMonitor monitor(prober, scheduler, "127.0.0.1", targetPort);
        monitor.probe(proxy);
        EXPECT_TRUE(waitUntil([&] { return monitor.states().at(proxy.id).kind != ProxyTestState::Kind::testing; },
                              10s));
        return monitor.states().at(proxy.id);
    }
};

TEST_F(AsioProxyProberTest, MeasuresOnAMonotonicClockAndClosesAtOnce) {
    ScriptedServer proxy(grantingProxy);
    std::atomic<int> reads{0};
    const auto start = std::chrono::steady_clock::time_point(100s);
    AsioProxyProber prober(worker.executor(), [&] { return reads++ == 0 ? start : start + 12900us; });
    EXPECT_EQ(probeOnce(prober, proxyNamed("scripted", std::nullopt, "127.0.0.1", proxy.port())),
              ProxyTestState::success(12));
}

// A proxy that accepts and never answers ends the probe with the time-out, and
// the probe's connection is closed.
TEST_F(AsioProxyProberTest, ASilentProxyTimesOutAndLeavesNoConnection) {
    ShortConnectTimeout timeout(0.2);
    std::atomic<bool> closedByClient{false};
    ScriptedServer proxy([&](PeerConnection& connection) { closedByClient = connection.stall(); });
    AsioProxyProber prober(worker.executor());
    const ProxyTestState state = probeOnce(prober, proxyNamed("silent", std::nullopt, "127.0.0.1", proxy.port()));
    EXPECT_EQ(state, ProxyTestState::failure(ProxyClientError::timedOut().what()));
    EXPECT_TRUE(waitUntil([&] { return closedByClient.load(); }));
}

TEST_F(AsioProxyProberTest, ARefusedProxyShowsTheClientsText) {
    AsioProxyProber prober(worker.executor());
    EXPECT_EQ(probeOnce(prober, proxyNamed("closed", std::nullopt, "127.0.0.1", corvane::testing::closedPort())),
              ProxyTestState::failure("Connection refused — nothing is listening on that port."));
}

// A proxy that accepts and never answers holds a probe until the connect
// time-out (10 s here); a probe given up before then closes its connection at
// once, which the proxy sees.
TEST_F(AsioProxyProberTest, AProbeGivenUpClosesItsConnectionAtOnce) {
    std::atomic<int> accepted{0};
    std::atomic<int> closed{0};
    ScriptedServer silent([&](PeerConnection& connection) {
        ++accepted;
        if (connection.stall()) ++closed;
    });
    const ProxyServer proxy = proxyNamed("silent", std::nullopt, "127.0.0.1", silent.port());
    AsioProxyProber prober(worker.executor());
    using Monitor = std::unique_ptr<ProxyHealthMonitor>;
    const struct {
        const char* what;
        std::function<void(Monitor&)> giveUp;
    } cases[] = {
        {"a newer probe", [&](Monitor& m) { m->probe(proxy); }},
        {"invalidate", [&](Monitor& m) { m->invalidate(proxy.id); }},
        {"the page left", [](Monitor& m) { m->stopProbes(); }},
        {"the monitor's end", [](Monitor& m) { m.reset(); }},
    };
    for (const auto& c : cases) {
        Monitor monitor = std::make_unique<ProxyHealthMonitor>(prober, scheduler, "127.0.0.1", 9);
        const int before = closed;
        monitor->probe(proxy);
        ASSERT_TRUE(waitUntil([&] { return accepted > before; })) << c.what;
        c.giveUp(monitor);
        EXPECT_TRUE(waitUntil([&] { return closed > before; }, 2s)) << c.what << ": the connection stayed open";
        monitor.reset();
        ASSERT_TRUE(waitUntil([&] { return closed == accepted; })) << c.what;
    }
}

// A proxy that refuses the probe shows what it answered, in words.
TEST_F(AsioProxyProberTest, ARefusalShowsWhatTheProxyAnswered) {
    ScriptedServer http([](PeerConnection& connection) {
        connection.readUntil("\r\n\r\n");
        connection.write("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
    });
    ScriptedServer socks([](PeerConnection& connection) {
        connection.read(3);
        connection.write(corvane::testing::Bytes{5, 0});
        connection.read(10);
        connection.write(corvane::testing::Bytes{5, 2, 0, 1, 0, 0, 0, 0, 0, 0});
    });
    ProxyServer httpProxy = proxyNamed("http", std::nullopt, "127.0.0.1", http.port());
    httpProxy.kind = ProxyProtocol::httpConnect;
    AsioProxyProber prober(worker.executor());
    EXPECT_EQ(probeOnce(prober, httpProxy),
              ProxyTestState::failure("The proxy refused the connection: “HTTP/1.1 403 Forbidden”."));
    EXPECT_EQ(probeOnce(prober, proxyNamed("socks", std::nullopt, "127.0.0.1", socks.port())),
              ProxyTestState::failure("The SOCKS5 proxy answered “connection not allowed by its rules” (reply code 2)."));
}

TEST_F(AsioProxyProberTest, ProbesThroughMicrosocksToALocalTarget) {
    if (!corvane::testing::PeerProcess::installed("/usr/bin/microsocks")) GTEST_SKIP() << "microsocks is not installed";
    ScriptedServer target([](PeerConnection& connection) { connection.sawEndOfStream(); });
    corvane::testing::TemporaryFolder folder;
    const std::uint16_t port = corvane::testing::closedPort();
    corvane::testing::PeerProcess microsocks("/usr/bin/microsocks", {"-i", "127.0.0.1", "-p", std::to_string(port)},
                                             port, folder.path() / "microsocks.log");
    ASSERT_TRUE(microsocks.ready());
    AsioProxyProber prober(worker.executor());
    EXPECT_EQ(probeOnce(prober, proxyNamed("microsocks", std::nullopt, "127.0.0.1", port), target.port()).kind,
              ProxyTestState::Kind::success);
    EXPECT_TRUE(waitUntil([&] { return target.acceptedCount() == 1; }));
}

}  // namespace
}  // namespace corvane::app::testing
