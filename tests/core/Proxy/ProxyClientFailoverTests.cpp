#include "CorvaneCore/Proxy/HTTPConnect.hpp"
#include "CorvaneCore/Proxy/ProxyClient.hpp"
#include "CorvaneCore/Proxy/SOCKS5.hpp"

#include "ClientRunner.hpp"
#include "ErrorOf.hpp"
#include "ScriptedServer.hpp"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/steady_timer.hpp>
#include <asio/system_error.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace corvane {
namespace {

using testing::Bytes;
using testing::PeerConnection;
using testing::ScriptedServer;
using testing::httpProxy;
using testing::socksProxy;

struct Attempt {
    UUID proxy;
    std::exception_ptr error;
};

void acceptSOCKS5Connect(PeerConnection& peer) {
    peer.read(3);
    peer.write(Bytes{0x05, 0x00});
    peer.read(10);
    peer.write(Bytes{0x05, 0x00, 0x00, 0x01, 0x7F, 0x00, 0x00, 0x01, 0x00, 0x50});
}

void stallUntilClosed(PeerConnection& peer) { EXPECT_TRUE(peer.stall()); }

ProxyClientError::Kind kindOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const ProxyClientError& e) {
        return e.kind();
    } catch (...) {
        ADD_FAILURE() << "not a ProxyClientError";
    }
    return ProxyClientError::Kind::connectionFailed;
}

class ProxyClientFailoverTest : public ::testing::Test {
protected:
    void SetUp() override { ProxyClient::connectTimeout = 0.2; }
    void TearDown() override { ProxyClient::connectTimeout = 10.0; }

    FailoverConnection failover(std::vector<ProxyServer> proxies) {
        return runner.run([&](asio::any_io_executor executor) {
            return ProxyClient::establishTCPFailover(proxies, "10.1.2.3", 443, executor, record());
        });
    }

    ProxyClient::AttemptFailureHandler record() {
        return [this](const ProxyServer& proxy, std::exception_ptr error) { attempts.push_back({proxy.id, error}); };
    }

    testing::ClientRunner runner;
    std::vector<Attempt> attempts;
};

TEST_F(ProxyClientFailoverTest, FirstProxyThatAnswersCarriesTheConnection) {
    ScriptedServer silent(stallUntilClosed);
    ScriptedServer working(acceptSOCKS5Connect);
    ScriptedServer spare(acceptSOCKS5Connect);
    const std::vector<ProxyServer> proxies{socksProxy(silent.port()), socksProxy(working.port()),
                                           socksProxy(spare.port())};
    const FailoverConnection result = failover(proxies);
    EXPECT_EQ(result.proxy, proxies[1]);
    EXPECT_TRUE(result.connection.socket.is_open());
    ASSERT_EQ(attempts.size(), 1u);
    EXPECT_EQ(attempts[0].proxy, proxies[0].id);
    EXPECT_EQ(kindOf(attempts[0].error), ProxyClientError::Kind::timedOut);
    EXPECT_EQ(spare.acceptedCount(), 0);
    EXPECT_LT(runner.lastSeconds(), 1.0);
}

TEST_F(ProxyClientFailoverTest, WhenAllFailEachIsReportedAndTheLastErrorIsThrown) {
    ScriptedServer noMethod([](PeerConnection& peer) {
        peer.read(3);
        peer.write(Bytes{0x05, 0xFF});
    });
    ScriptedServer unavailable([](PeerConnection& peer) {
        peer.readUntil("\r\n\r\n");
        peer.write("HTTP/1.1 503 Service Unavailable\r\n\r\n");
    });
    const std::vector<ProxyServer> proxies{socksProxy(testing::closedPort()), socksProxy(noMethod.port()),
                                           httpProxy(unavailable.port())};
    const auto error = testing::errorOf<HTTPConnect::ProtocolError>([&] { failover(proxies); });
    EXPECT_EQ(error, HTTPConnect::ProtocolError::connectFailed(503));
    ASSERT_EQ(attempts.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(attempts[i].proxy, proxies[i].id);
    EXPECT_EQ(kindOf(attempts[0].error), ProxyClientError::Kind::unreachable);
    EXPECT_THROW(std::rethrow_exception(attempts[1].error), SOCKS5::ProtocolError);
    EXPECT_THROW(std::rethrow_exception(attempts[2].error), HTTPConnect::ProtocolError);
}

TEST_F(ProxyClientFailoverTest, EmptyListIsEmptyChain) {
    const auto error = testing::errorOf<ProxyClientError>([&] { failover({}); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ProxyClientError::Kind::emptyChain);
}

// A cancellation while the first attempt runs ends that attempt at once (its
// socket closes, long before the time-out) and the failover before the next proxy.
TEST_F(ProxyClientFailoverTest, CancellationEndsTheRunningAttemptAndTheFailover) {
    ProxyClient::connectTimeout = 10.0;
    std::atomic<bool> closedByClient{false};
    ScriptedServer silent([&](PeerConnection& peer) { closedByClient = peer.stall(); });
    ScriptedServer working(acceptSOCKS5Connect);
    const std::vector<ProxyServer> proxies{socksProxy(silent.port()), socksProxy(working.port())};

    asio::cancellation_signal cancel;
    asio::steady_timer cancelSoon(runner.context, std::chrono::milliseconds(50));
    cancelSoon.async_wait([&](const std::error_code&) { cancel.emit(asio::cancellation_type::terminal); });
    std::exception_ptr outcome;
    auto attemptAll = [&]() -> asio::awaitable<void> {
        co_await ProxyClient::establishTCPFailover(proxies, "10.1.2.3", 443, runner.context.get_executor(), record());
    };
    asio::co_spawn(runner.context, attemptAll(),
                   asio::bind_cancellation_slot(cancel.slot(), [&](std::exception_ptr error) { outcome = error; }));
    const auto start = std::chrono::steady_clock::now();
    runner.context.run();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    ASSERT_EQ(attempts.size(), 1u);
    EXPECT_EQ(kindOf(attempts[0].error), ProxyClientError::Kind::connectionClosed);
    ASSERT_TRUE(outcome);
    try {
        std::rethrow_exception(outcome);
    } catch (const asio::system_error& error) {
        EXPECT_EQ(error.code(), asio::error::operation_aborted);
    } catch (...) {
        ADD_FAILURE() << "not the cancellation error";
    }
    EXPECT_EQ(working.acceptedCount(), 0);
    for (int waited = 0; !closedByClient && waited < 200; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(closedByClient) << "the silent proxy did not see the attempt's socket close";
}

}  // namespace
}  // namespace corvane
