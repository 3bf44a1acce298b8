// The relay's semantics where the application's flow is a kernel socket, so its bytes
// are spliced: half-closes, exact counts, the handshake's bytes first, endings.
#include "Tunnel/FlowRelay.hpp"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <thread>

#include <asio/read.hpp>
#include <asio/write.hpp>
#include <gtest/gtest.h>

#include "Support/LoopbackPair.hpp"
#include "platform/linux/LinuxTCPFlow.hpp"
#include "platform/testing/ErrorName.hpp"

namespace corvane::tunnel {
namespace {

using platform::Bytes;
using testing::LoopbackPair;
using testing::runUntil;

// Reads until the end of the stream (or an error).
std::string readToEnd(asio::ip::tcp::socket& socket) {
    std::string all;
    std::array<char, 65536> buffer{};
    std::error_code error;
    while (!error) {
        const std::size_t got = socket.read_some(asio::buffer(buffer), error);
        all.append(buffer.data(), got);
    }
    return all;
}

// A thread that drives one socket with blocking calls. The test waits for it by
// running the relay's context until done() holds: the relay's last steps (the
// half-close that ends the reader's stream) are handlers of that context too.
// Should the test fail first, the socket is shut down, so the thread ends
// instead of blocking the test for ever.
class BlockingSide {
public:
    BlockingSide(asio::ip::tcp::socket& socket, std::function<void()> work)
        : socket_(socket), thread_([this, work = std::move(work)] {
              work();
              done_ = true;
          }) {}
    ~BlockingSide() {
        if (!done_) ::shutdown(socket_.native_handle(), SHUT_RDWR);
        thread_.join();
    }
    BlockingSide(const BlockingSide&) = delete;
    BlockingSide& operator=(const BlockingSide&) = delete;

    bool done() const { return done_; }

private:
    asio::ip::tcp::socket& socket_;
    std::atomic<bool> done_ = false;
    std::thread thread_;
};

std::size_t openPipes() {
    std::size_t pipes = 0;
    DIR* fds = ::opendir("/proc/self/fd");
    while (dirent* entry = ::readdir(fds)) {
        struct stat info {};
        if (::fstatat(::dirfd(fds), entry->d_name, &info, 0) == 0 && S_ISFIFO(info.st_mode)) ++pipes;
    }
    ::closedir(fds);
    return pipes;
}

// One relay between `app` (the application's socket, driven with blocking calls) and
// `proxy`, all on one context that the test runs.
class SplicedFlowRelayTest : public ::testing::Test {
public:
    void SetUp() override {
        auto upstreamPair = LoopbackPair::make(context);
        proxy.emplace(std::move(upstreamPair.far));
        upstream.emplace(std::move(upstreamPair.near));
        auto appPair = LoopbackPair::make(context);
        app.emplace(std::move(appPair.far));
        const auto destination = *platform::SocketAddress::fromText("198.18.0.10", 7);
        flow = std::make_shared<platform::LinuxTCPFlow>(std::move(appPair.near), destination, platform::FlowMetaData{});
        ASSERT_NE(flow->kernelSocket(), nullptr);
    }

    void startRelay(Bytes initialData = {}) {
        relay = std::make_shared<FlowRelay>(flow, ProxyConnection{std::move(*upstream), std::move(initialData)},
                                            [this](std::uint64_t sentCount, std::uint64_t receivedCount,
                                                   platform::Error error) {
                                                ++closeCalls;
                                                sent = sentCount;
                                                received = receivedCount;
                                                ending = error;
                                            });
        relay->start();
    }

    bool finished() const { return closeCalls > 0; }

    asio::io_context context;
    std::optional<asio::ip::tcp::socket> app;
    std::optional<asio::ip::tcp::socket> proxy;
    std::optional<asio::ip::tcp::socket> upstream;
    std::shared_ptr<platform::LinuxTCPFlow> flow;
    std::shared_ptr<FlowRelay> relay;
    std::atomic<int> closeCalls = 0;
    std::uint64_t sent = 0;
    std::uint64_t received = 0;
    platform::Error ending;
};

TEST_F(SplicedFlowRelayTest, HalfClosesPassThroughAndTheCountsAreExact) {
    startRelay();
    asio::write(*app, asio::buffer(std::string("request")));
    app->shutdown(asio::socket_base::shutdown_send);
    std::string atProxy;
    {
        BlockingSide reader(*proxy, [&] { atProxy = readToEnd(*proxy); });
        ASSERT_TRUE(runUntil(context, [&] { return reader.done(); }));
    }
    EXPECT_EQ(atProxy, "request");

    // The answer still flows after the application's half-close.
    asio::write(*proxy, asio::buffer(std::string("answer one, answer two")));
    proxy->shutdown(asio::socket_base::shutdown_send);
    std::string atApp;
    {
        BlockingSide appReader(*app, [&] { atApp = readToEnd(*app); });
        ASSERT_TRUE(runUntil(context, [&] { return finished() && appReader.done(); }));
    }
    EXPECT_EQ(atApp, "answer one, answer two");
    EXPECT_EQ(sent, 7u);
    EXPECT_EQ(received, 22u);
    EXPECT_FALSE(ending);
    EXPECT_EQ(closeCalls, 1);
}

TEST_F(SplicedFlowRelayTest, BytesThatCameWithTheHandshakeComeFirstAndCount) {
    startRelay(Bytes{'2', '2', '0', ' ', 'h', 'i', '\r', '\n'});
    asio::write(*proxy, asio::buffer(std::string("more")));
    proxy->shutdown(asio::socket_base::shutdown_send);
    std::string atApp;
    {
        BlockingSide appReader(*app, [&] { atApp = readToEnd(*app); });
        ASSERT_TRUE(runUntil(context, [&] { return finished() && appReader.done(); }));
    }
    EXPECT_EQ(atApp, "220 hi\r\nmore");
    EXPECT_EQ(received, 12u);
}

// Megabytes both ways at once, so both pumps fill their pipes and wait for room. The
// proxy ends its side only after the application's end arrived: its end finishes
// the relay.
TEST_F(SplicedFlowRelayTest, LargeTransfersBothWaysArriveWhole) {
    constexpr std::size_t kSize = 24 << 20;
    std::string up(kSize, '\0');
    std::string down(kSize, '\0');
    std::mt19937 random(7);
    for (char& c : up) c = static_cast<char>(random());
    for (char& c : down) c = static_cast<char>(random());
    startRelay();
    std::string atProxy;
    std::string atApp;
    {
        BlockingSide appWriter(*app, [&] {
            asio::write(*app, asio::buffer(up));
            app->shutdown(asio::socket_base::shutdown_send);
        });
        BlockingSide proxyReader(*proxy, [&] { atProxy = readToEnd(*proxy); });
        BlockingSide proxyWriter(*proxy, [&] {
            asio::write(*proxy, asio::buffer(down));
            while (!proxyReader.done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            proxy->shutdown(asio::socket_base::shutdown_send);
        });
        BlockingSide appReader(*app, [&] { atApp = readToEnd(*app); });
        EXPECT_TRUE(runUntil(context, [&] { return finished() && appReader.done() && proxyWriter.done(); },
                             std::chrono::seconds(60)));
    }
    EXPECT_TRUE(atProxy == up);
    EXPECT_TRUE(atApp == down);
    EXPECT_EQ(sent, kSize);
    EXPECT_EQ(received, kSize);
    EXPECT_FALSE(ending);
}

TEST_F(SplicedFlowRelayTest, ResetsEndTheRelayAsFailures) {
    struct Case {
        const char* name;
        std::function<void(SplicedFlowRelayTest&)> cause;
    };
    const Case cases[] = {
        {"the proxy resets",
         [](SplicedFlowRelayTest& t) {
             t.proxy->set_option(asio::socket_base::linger(true, 0));
             t.proxy->close();
         }},
        {"the application resets",
         [](SplicedFlowRelayTest& t) {
             t.app->set_option(asio::socket_base::linger(true, 0));
             t.app->close();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        closeCalls = 0;
        SetUp();
        startRelay();
        asio::write(*app, asio::buffer(std::string("x")));
        ASSERT_TRUE(runUntil(context, [&] { return relay->counters().bytesSent == 1; }));
        c.cause(*this);
        ASSERT_TRUE(runUntil(context, [&] { return finished(); }));
        EXPECT_EQ(platform::testing::errorName(ending), "ECONNRESET");
        EXPECT_EQ(closeCalls, 1);
    }
}

// An idle relay lends its pipes back: many relays that exchanged a little hold no
// more pipes than the loop keeps spare.
TEST_F(SplicedFlowRelayTest, IdleRelaysHoldNoPipes) {
    const std::size_t before = openPipes();
    std::vector<std::shared_ptr<FlowRelay>> relays;
    std::vector<asio::ip::tcp::socket> ends;
    for (int i = 0; i < 48; ++i) {
        SetUp();
        startRelay();
        asio::write(*app, asio::buffer(std::string("ping")));
        asio::write(*proxy, asio::buffer(std::string("pong")));
        ASSERT_TRUE(runUntil(context, [&] {
            const auto counters = relay->counters();
            return counters.bytesSent == 4 && counters.bytesReceived == 4;
        }));
        relays.push_back(relay);
        ends.push_back(std::move(*app));
        ends.push_back(std::move(*proxy));
    }
    runUntil(context, [] { return false; }, std::chrono::milliseconds(20));
    EXPECT_LE(openPipes(), before + 2 * 16);
}

}  // namespace
}  // namespace corvane::tunnel
