#include "Tunnel/FlowRelay.hpp"

#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include <asio/error.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>
#include <gtest/gtest.h>

#include "Support/LoopbackPair.hpp"
#include "platform/testing/ErrorName.hpp"
#include "platform/testing/FakeTCPFlow.hpp"

namespace corvane::tunnel {
namespace {

using platform::Bytes;
using platform::testing::FakeTCPFlow;
using testing::LoopbackPair;
using testing::runUntil;

struct Closing {
    std::uint64_t sent = 0;
    std::uint64_t received = 0;
    platform::Error error;
};

Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Reads and clears the socket's pending error, as a failed send would; true once it
// was `expected`.
bool takePendingError(int fd, int expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < deadline) {
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error == expected) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

class FlowRelayTest : public ::testing::Test {
public:
    void SetUp() override {
        auto pair = LoopbackPair::make(context);
        proxy.emplace(std::move(pair.far));
        upstream.emplace(std::move(pair.near));
        upstreamHandle = upstream->native_handle();
        flow = std::make_shared<FakeTCPFlow>(context.get_executor(),
                                             platform::HostEndpoint{"198.18.0.10", "7"});
    }

    void startRelay(Bytes initialData = {}) {
        relay = std::make_shared<FlowRelay>(flow, ProxyConnection{std::move(*upstream), std::move(initialData)},
                                            [this](std::uint64_t sent, std::uint64_t received, platform::Error error) {
                                                ++closeCalls;
                                                closing = Closing{sent, received, error};
                                            });
        relay->start();
    }

    Bytes proxyReads(std::size_t count) {
        Bytes data(count);
        asio::read(*proxy, asio::buffer(data));
        return data;
    }

    bool finished() const { return closeCalls > 0; }

    asio::io_context context;
    std::optional<asio::ip::tcp::socket> proxy;
    std::optional<asio::ip::tcp::socket> upstream;
    int upstreamHandle = -1;  // the relay's upstream socket, kept after the move
    std::shared_ptr<FakeTCPFlow> flow;
    std::shared_ptr<FlowRelay> relay;
    int closeCalls = 0;
    Closing closing;
};

TEST_F(FlowRelayTest, ClientHalfCloseStillCarriesTheWholeAnswer) {
    startRelay();
    flow->pushData(bytes("request"));
    flow->pushEOF();
    ASSERT_TRUE(runUntil(context, [&] { return proxy->available() >= 7; }));
    runUntil(context, [] { return false; }, std::chrono::milliseconds(20));
    EXPECT_EQ(proxyReads(7), bytes("request"));
    // The proxy sees the half-close as the end of the stream.
    std::array<std::uint8_t, 1> probe{};
    std::error_code eof;
    asio::read(*proxy, asio::buffer(probe), eof);
    EXPECT_EQ(eof, asio::error::eof);

    asio::write(*proxy, asio::buffer(std::string("answer one, answer two")));
    ASSERT_TRUE(runUntil(context, [&] { return flow->written().size() == 22; }));
    EXPECT_FALSE(finished());

    proxy->shutdown(asio::ip::tcp::socket::shutdown_send);
    ASSERT_TRUE(runUntil(context, [&] { return finished(); }));
    EXPECT_EQ(flow->written(), bytes("answer one, answer two"));
    EXPECT_EQ(closing.sent, 7u);
    EXPECT_EQ(closing.received, 22u);
    EXPECT_FALSE(closing.error);
    EXPECT_EQ(flow->closes(), (std::vector<std::string>{"closeWrite(none)", "closeRead(none)", "closeWrite(none)"}));
}

TEST_F(FlowRelayTest, ProxyClosingFirstEndsTheFlowWithExactCounts) {
    startRelay();
    flow->pushData(bytes("abc"));
    asio::write(*proxy, asio::buffer(std::string("12345")));
    ASSERT_TRUE(runUntil(context, [&] { return proxy->available() >= 3; }));
    EXPECT_EQ(proxyReads(3), bytes("abc"));
    ASSERT_TRUE(runUntil(context, [&] { return flow->written().size() == 5; }));
    proxy->close();
    ASSERT_TRUE(runUntil(context, [&] { return finished(); }));
    EXPECT_EQ(closing.sent, 3u);
    EXPECT_EQ(closing.received, 5u);
    EXPECT_FALSE(closing.error);
    EXPECT_EQ(flow->closes().front(), "closeWrite(none)");
    EXPECT_EQ(closeCalls, 1);
}

TEST_F(FlowRelayTest, BytesThatCameWithTheHandshakeReachTheFlowFirstAndCount) {
    startRelay(bytes("220 banner\r\n"));
    asio::write(*proxy, asio::buffer(std::string("more")));
    ASSERT_TRUE(runUntil(context, [&] { return flow->written().size() == 16; }));
    EXPECT_EQ(flow->writes().front(), bytes("220 banner\r\n"));
    EXPECT_EQ(flow->written(), bytes("220 banner\r\nmore"));
    EXPECT_EQ(relay->counters().bytesReceived, 16u);
}

TEST_F(FlowRelayTest, LargeBurstArrivesInChunksOfAtMost65536Bytes) {
    startRelay();
    const Bytes burst(200 * 1024, 0x5A);
    asio::write(*proxy, asio::buffer(burst));
    ASSERT_TRUE(runUntil(context, [&] { return flow->written().size() == burst.size(); }));
    for (const Bytes& chunk : flow->writes()) EXPECT_LE(chunk.size(), 65536u);
    EXPECT_GE(flow->writes().size(), 4u);
    EXPECT_EQ(relay->counters().bytesReceived, burst.size());
}

TEST_F(FlowRelayTest, EndingsAreReportedByErrorName) {
    struct Case {
        const char* name;
        std::function<void(FlowRelayTest&)> cause;
        std::string reported;  // what reaches onClose
    };
    const Case cases[] = {
        {"write to a closed application",
         [](FlowRelayTest& t) {
             t.flow->failNextWriteWith(asio::error::broken_pipe);
             asio::write(*t.proxy, asio::buffer(std::string("x")));
         },
         "none"},
        {"not connected", [](FlowRelayTest& t) { t.flow->pushError(asio::error::not_connected); }, "none"},
        {"cancelled", [](FlowRelayTest& t) { t.flow->pushError(asio::error::operation_aborted); }, "none"},
        {"application read error", [](FlowRelayTest& t) { t.flow->pushError(platform::posixError(EIO)); }, "EIO"},
        {"upstream reset",
         [](FlowRelayTest& t) {
             t.proxy->set_option(asio::socket_base::linger(true, 0));
             t.proxy->close();
         },
         "ECONNRESET"},
        // A write that failed first took the reset's error: the relay then reads a
        // plain end of stream from the torn-down connection.
        {"upstream reset whose error a write took",
         [](FlowRelayTest& t) {
             t.proxy->set_option(asio::socket_base::linger(true, 0));
             t.proxy->close();
             EXPECT_TRUE(takePendingError(t.upstreamHandle, ECONNRESET));
         },
         "ECONNRESET"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        closeCalls = 0;
        SetUp();
        startRelay();
        c.cause(*this);
        ASSERT_TRUE(runUntil(context, [&] { return finished(); }));
        EXPECT_EQ(platform::testing::errorName(closing.error), c.reported);
        EXPECT_EQ(closeCalls, 1);
        EXPECT_TRUE(flow->isClosed());
    }
}

TEST(FlowRelayOrderlyShutdownTest, OnlyQuietEndingsAreOrderly) {
    EXPECT_TRUE(FlowRelay::isOrderlyShutdown({}));
    EXPECT_TRUE(FlowRelay::isOrderlyShutdown(asio::error::eof));
    EXPECT_TRUE(FlowRelay::isOrderlyShutdown(platform::posixError(ENOTCONN)));
    EXPECT_TRUE(FlowRelay::isOrderlyShutdown(platform::posixError(ECANCELED)));
    EXPECT_TRUE(FlowRelay::isOrderlyShutdown(asio::error::operation_aborted));
    EXPECT_TRUE(FlowRelay::isOrderlyShutdown(std::error_code(EPIPE, std::system_category())));
    EXPECT_FALSE(FlowRelay::isOrderlyShutdown(asio::error::connection_reset));
    EXPECT_FALSE(FlowRelay::isOrderlyShutdown(platform::posixError(EIO)));
    EXPECT_FALSE(FlowRelay::isOrderlyShutdown(asio::error::host_not_found));
}

TEST_F(FlowRelayTest, SecondFinishChangesNothing) {
    startRelay();
    flow->pushData(bytes("abcd"));
    ASSERT_TRUE(runUntil(context, [&] { return relay->counters().bytesSent == 4; }));
    relay->finish({});
    flow->pushError(asio::error::connection_reset);
    relay->finish(asio::error::connection_reset);
    runUntil(context, [] { return false; }, std::chrono::milliseconds(30));
    EXPECT_EQ(closeCalls, 1);
    EXPECT_FALSE(closing.error);
    EXPECT_EQ(closing.sent, 4u);
}

TEST_F(FlowRelayTest, CompletionsAfterTheRelayIsGoneDoNothing) {
    startRelay();
    relay.reset();
    flow->pushData(bytes("late"));
    asio::write(*proxy, asio::buffer(std::string("late")));
    runUntil(context, [] { return false; }, std::chrono::milliseconds(30));
    EXPECT_EQ(closeCalls, 0);
    EXPECT_TRUE(flow->written().empty());
}

}  // namespace
}  // namespace corvane::tunnel
