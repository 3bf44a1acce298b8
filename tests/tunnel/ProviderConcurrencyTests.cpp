#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include <asio/executor_work_guard.hpp>
#include <gtest/gtest.h>

#include "Support/ProviderFixture.hpp"
#include "Support/Profiles.hpp"
#include "Support/ScriptedProxy.hpp"

namespace corvane::tunnel {
namespace {

using platform::HostEndpoint;
using platform::testing::FakeTCPFlow;
using platform::testing::FakeUDPFlow;
using testing::bytes;
using testing::ScriptedProxy;

// The provider's loop run by a pool of threads while other threads deliver flows,
// send app messages and stop the session, all at once.
class ProviderConcurrencyTest : public testing::ProviderFixture {
public:
    static constexpr int kPoolThreads = 4;
    static constexpr int kDrivers = 4;
    static constexpr int kRounds = 8;

    void runPool() {
        for (int i = 0; i < kPoolThreads; ++i) pool.emplace_back([this] { context.run(); });
    }
    void stopPool() {
        work.reset();
        context.stop();
        for (auto& thread : pool) thread.join();
        pool.clear();
    }
    void TearDown() override {
        if (!pool.empty()) stopPool();
        ProviderFixture::TearDown();
    }

    using Reply = std::future<std::optional<platform::Bytes>>;

    // One driver's share: proxied and blocked TCP flows, UDP flows and messages.
    // Returns the replies to its messages.
    std::vector<Reply> drive(int driver) {
        std::vector<Reply> replies;
        for (int round = 0; round < kRounds; ++round) {
            auto proxied = tcpFlow("198.18.0.10", "7");
            auto blocked = tcpFlow("198.18.0.66", "80");
            auto udp = std::make_shared<FakeUDPFlow>(context.get_executor(), platform::FlowMetaData{std::nullopt, "dig"});
            const bool tookProxied = host.deliverFlow(proxied).get();
            proxied->pushData(bytes("driver " + std::to_string(driver)));
            proxied->pushEOF();
            host.deliverFlow(blocked).get();
            if (host.deliverFlow(udp).get()) {
                udp->pushBatch({bytes("datagram")}, {HostEndpoint{"198.18.0.10", "7"}});
                udp->pushEnd();
            }
            replies.push_back(host.appMessage(bytes("{\"kind\":\"fetchRecords\"}")));
            replies.push_back(host.appMessage(bytes("{\"kind\":\"reloadProfile\"}")));
            std::lock_guard guard(flowsLock);
            if (tookProxied) tcpFlows.push_back(proxied);
            tcpFlows.push_back(blocked);
        }
        return replies;
    }

    asio::executor_work_guard<asio::io_context::executor_type> work{context.get_executor()};
    std::vector<std::thread> pool;
    std::mutex flowsLock;
    std::vector<std::shared_ptr<FakeTCPFlow>> tcpFlows;
};

TEST_F(ProviderConcurrencyTest, FlowsMessagesAndStopAtOnceEndEveryRecord) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    const ProxyServer s = testing::proxyServer("S", ProxyProtocol::socks5, socks.port());
    Profile profile = testing::profileWith({s}, RuleAction::proxy(s.id));
    profile.rules.insert(profile.rules.begin(), testing::rule("Blocked", RuleAction::block(), {"198.18.0.66"}));
    configure(profile);
    runPool();
    ASSERT_EQ(host.startProxy().get(), std::nullopt);

    std::vector<std::future<std::size_t>> drivers;
    for (int driver = 0; driver < kDrivers; ++driver) {
        drivers.push_back(std::async(std::launch::async, [this, driver] {
            std::size_t answered = 0;
            for (auto& reply : drive(driver)) {
                if (reply.wait_for(std::chrono::seconds(5)) != std::future_status::ready) continue;
                reply.get();
                ++answered;
            }
            return answered;
        }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    auto stopped = host.stopProxy();
    for (auto& driver : drivers) EXPECT_EQ(driver.get(), 2u * kRounds);
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(5)), std::future_status::ready);

    const auto settled = [&] {
        for (const ConnectionRecord& record : records()) {
            if (record.status == ConnectionStatus::active) return false;
        }
        return true;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!settled() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stopPool();

    const auto kept = records();
    EXPECT_FALSE(kept.empty());
    for (const ConnectionRecord& record : kept) {
        EXPECT_TRUE(record.status == ConnectionStatus::closed || record.status == ConnectionStatus::failed ||
                    record.status == ConnectionStatus::blocked)
            << record.target;
    }
    for (const auto& flow : tcpFlows) EXPECT_TRUE(flow->isClosed());
}

}  // namespace
}  // namespace corvane::tunnel
