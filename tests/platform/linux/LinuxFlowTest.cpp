#include "platform/linux/LinuxDiversion.hpp"
#include "platform/linux/LinuxTCPFlow.hpp"
#include "platform/linux/LinuxUDPFlow.hpp"

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>
#include <gtest/gtest.h>

#include <thread>

namespace corvane::platform {
namespace {

// A loopback connection whose accepted end becomes a LinuxTCPFlow; the test
// plays the app on the other end with blocking calls.
class LinuxTCPFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        asio::ip::tcp::acceptor acceptor(io_, {asio::ip::address_v4::loopback(), 0});
        app_.connect(acceptor.local_endpoint());
        auto accepted = acceptor.accept();
        flow_ = std::make_shared<LinuxTCPFlow>(std::move(accepted), *SocketAddress::fromText("10.205.0.10", 7),
                                               FlowMetaData{});
    }

    void run() {
        io_.restart();
        io_.run();
    }

    asio::io_context io_;
    asio::ip::tcp::socket app_{io_};
    std::shared_ptr<LinuxTCPFlow> flow_;
};

TEST_F(LinuxTCPFlowTest, NamesTheOriginalDestinationAndReadsUntilTheAppHalfCloses) {
    EXPECT_EQ(flow_->remoteEndpoint(), Endpoint(HostEndpoint{"10.205.0.10", "7"}));
    EXPECT_EQ(flow_->remoteHostname(), std::nullopt);
    asio::write(app_, asio::buffer(std::string("abc")));
    app_.shutdown(asio::socket_base::shutdown_send);
    std::vector<std::pair<std::optional<Bytes>, Error>> reads;
    std::function<void()> readNext = [&] {
        flow_->readData([&](std::optional<Bytes> data, Error error) {
            reads.emplace_back(data, error);
            if (data) readNext();
        });
    };
    readNext();
    run();
    ASSERT_EQ(reads.size(), 2U);
    EXPECT_EQ(reads[0].first, (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(reads[1].first, std::nullopt);
    EXPECT_FALSE(reads[1].second);
}

// An idle flow must not hold a full-size read buffer: each read takes only what
// arrived, and a long stream still arrives whole and in order.
TEST_F(LinuxTCPFlowTest, ReadsTakeBuffersSizedToTheQueuedData) {
    std::vector<Bytes> chunks;
    std::function<void()> readNext = [&] {
        flow_->readData([&](std::optional<Bytes> data, Error error) {
            ASSERT_FALSE(error);
            if (!data) return;
            chunks.push_back(std::move(*data));
            readNext();
        });
    };
    readNext();
    asio::write(app_, asio::buffer(std::string("abc")));
    while (chunks.empty()) io_.run_one();
    ASSERT_EQ(chunks.size(), 1U);
    EXPECT_EQ(chunks[0], (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(chunks[0].capacity(), 3U);
    Bytes stream(300000);
    for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<std::uint8_t>(i * 7);
    std::thread writer([&] {
        asio::write(app_, asio::buffer(stream));
        app_.shutdown(asio::socket_base::shutdown_send);
    });
    run();
    writer.join();
    Bytes received;
    for (std::size_t i = 1; i < chunks.size(); ++i) {
        EXPECT_LE(chunks[i].size(), LinuxTCPFlow::kReadSize);
        EXPECT_EQ(chunks[i].capacity(), chunks[i].size());
        received.insert(received.end(), chunks[i].begin(), chunks[i].end());
    }
    EXPECT_EQ(received, stream);
}

TEST_F(LinuxTCPFlowTest, AnOrderlyCloseDeliversQueuedWritesFirst) {
    Error written = asio::error::would_block;
    flow_->write(Bytes(200000, 'z'), [&](Error error) { written = error; });
    flow_->closeRead(Error());
    flow_->closeWrite(Error());
    std::string received;
    std::thread reader([&] {
        asio::error_code error;
        char buffer[65536];
        while (true) {
            const auto n = app_.read_some(asio::buffer(buffer), error);
            if (error) break;
            received.append(buffer, n);
        }
        EXPECT_EQ(error, asio::error::eof);
    });
    run();
    reader.join();
    EXPECT_FALSE(written);
    EXPECT_EQ(received, std::string(200000, 'z'));
}

TEST_F(LinuxTCPFlowTest, AnErrorOnTheWriteSideResetsTheApp) {
    flow_->open([&](Error error) { EXPECT_FALSE(error); });
    flow_->closeRead(connectionRefused());
    flow_->closeWrite(connectionRefused());
    run();
    asio::error_code error;
    char buffer[16];
    app_.read_some(asio::buffer(buffer), error);
    EXPECT_EQ(error, asio::error::connection_reset);
}

class LinuxUDPFlowTest : public ::testing::Test {
protected:
    LinuxUDPFlow::Datagram datagram(std::uint8_t value) {
        return {Bytes{value}, *SocketAddress::fromText("10.205.0.10", 7)};
    }
    void run() {
        io_.restart();
        io_.run();
    }

    asio::io_context io_;
    bool closed_ = false;
    std::shared_ptr<LinuxUDPFlow> flow_ =
        std::make_shared<LinuxUDPFlow>(io_.get_executor(), *SocketAddress::fromText("10.204.0.1", 40000),
                                       std::make_shared<ReplySockets>(0x43560001), [this] { closed_ = true; });
};

TEST_F(LinuxUDPFlowTest, KeepsTheNewestDatagramsUpToItsBoundForTheNextRead) {
    for (std::size_t i = 0; i < LinuxUDPFlow::kBufferLimit + 44; ++i) flow_->push(datagram(static_cast<std::uint8_t>(i)));
    std::optional<std::vector<Bytes>> payloads;
    std::optional<std::vector<Endpoint>> endpoints;
    flow_->readDatagrams([&](auto d, auto e, Error) {
        payloads = std::move(d);
        endpoints = std::move(e);
    });
    run();
    ASSERT_TRUE(payloads && endpoints);
    ASSERT_EQ(payloads->size(), LinuxUDPFlow::kBufferLimit);
    EXPECT_EQ(payloads->front(), Bytes{44});
    EXPECT_EQ(endpoints->front(), Endpoint(HostEndpoint{"10.205.0.10", "7"}));

    // Large datagrams are bounded by their bytes: the newest that fit are kept.
    const std::size_t large = 60000;
    for (std::uint8_t i = 0; i < 10; ++i)
        flow_->push({Bytes(large, i), *SocketAddress::fromText("10.205.0.10", 7)});
    flow_->readDatagrams([&](auto d, auto, Error) { payloads = std::move(d); });
    run();
    ASSERT_TRUE(payloads);
    ASSERT_EQ(payloads->size(), LinuxUDPFlow::kBufferBytes / large);
    EXPECT_EQ(payloads->back(), Bytes(large, 9));
}

TEST_F(LinuxUDPFlowTest, AWaitingReadGetsTheNextDatagramOrNothingWhenTheSocketIsGone) {
    std::vector<std::optional<std::vector<Bytes>>> reads;
    flow_->readDatagrams([&](auto d, auto, Error) { reads.push_back(std::move(d)); });
    run();
    EXPECT_TRUE(reads.empty());
    flow_->push(datagram(1));
    run();
    ASSERT_EQ(reads.size(), 1U);
    EXPECT_EQ(reads[0], (std::vector<Bytes>{{1}}));
    flow_->writeDatagrams({{9}}, {HostEndpoint{"10.205.0.10", "7"}}, nullptr);
    flow_->readDatagrams([&](auto d, auto, Error) { reads.push_back(std::move(d)); });
    flow_->end();
    run();
    ASSERT_EQ(reads.size(), 2U);
    EXPECT_EQ(reads[1], std::nullopt);
}

// A socket closed right after sending: what it sent is read before the end.
TEST_F(LinuxUDPFlowTest, DatagramsBufferedWhenTheSocketWentAreStillRead) {
    flow_->push(datagram(1));
    flow_->push(datagram(2));
    flow_->end();
    flow_->push(datagram(3));
    std::vector<std::optional<std::vector<Bytes>>> reads;
    for (int i = 0; i < 2; ++i) flow_->readDatagrams([&](auto d, auto, Error) { reads.push_back(std::move(d)); });
    io_.poll();
    flow_->writeDatagrams({{9}}, {HostEndpoint{"10.205.0.10", "7"}}, nullptr);
    run();
    EXPECT_EQ(reads, (std::vector<std::optional<std::vector<Bytes>>>{std::vector<Bytes>{{1}, {2}}, std::nullopt}));
}

// A new socket that took the port of one just closed may have sent the last
// datagram read: the flow ends once that has an answer, or after the grace.
TEST_F(LinuxUDPFlowTest, AGoneSocketsFlowWaitsForTheAnswerToItsLastDatagram) {
    const auto readTwice = [&](LinuxUDPFlow& flow, std::vector<std::optional<std::vector<Bytes>>>& reads) {
        flow.push(datagram(1));
        for (int i = 0; i < 2; ++i) flow.readDatagrams([&](auto d, auto, Error) { reads.push_back(std::move(d)); });
        flow.end();
        io_.restart();
        io_.poll();
    };
    std::vector<std::optional<std::vector<Bytes>>> reads;
    readTwice(*flow_, reads);
    ASSERT_EQ(reads.size(), 1U);
    flow_->writeDatagrams({{2}}, {HostEndpoint{"10.205.0.10", "7"}}, nullptr);
    run();
    EXPECT_EQ(reads, (std::vector<std::optional<std::vector<Bytes>>>{std::vector<Bytes>{{1}}, std::nullopt}));

    auto unanswered = std::make_shared<LinuxUDPFlow>(io_.get_executor(), *SocketAddress::fromText("10.204.0.1", 40001),
                                                     std::make_shared<ReplySockets>(0x43560001), nullptr);
    reads.clear();
    const auto start = std::chrono::steady_clock::now();
    readTwice(*unanswered, reads);
    run();
    EXPECT_EQ(reads.size(), 2U);
    EXPECT_GE(std::chrono::steady_clock::now() - start, LinuxUDPFlow::kAnswerGrace);
}

TEST_F(LinuxUDPFlowTest, RefusesRepliesWithoutAnAddressAndReportsClosingOnce) {
    Error result;
    flow_->writeDatagrams({{1}}, {HostEndpoint{"dns.example", "53"}}, [&](Error error) { result = error; });
    run();
    EXPECT_EQ(result, std::make_error_code(std::errc::invalid_argument));
    flow_->closeRead(Error());
    EXPECT_FALSE(closed_);
    flow_->closeWrite(Error());
    flow_->closeWrite(Error());
    EXPECT_TRUE(closed_);
}

TEST(LinuxDiversion, RefusesSettingsBeforeItsListenersExist) {
    asio::io_context io;
    LinuxDiversion diversion({io.get_executor()});
    std::optional<std::optional<Failure>> result;
    diversion.applySettings(TransparentProxyNetworkSettings{}, [&](std::optional<Failure> failure) { result = failure; });
    io.run();
    ASSERT_TRUE(result && *result);
    EXPECT_EQ((*result)->description, "The diversion has not been started");
}

TEST(LinuxDiversion, ReportsSettingsItCannotExpressThroughTheCompletion) {
    asio::io_context io;
    LinuxDiversion::Options options;
    options.constants.tcpPort = 40001;
    options.constants.udpPort = 40002;
    LinuxDiversion diversion({io.get_executor()}, options);
    TransparentProxyNetworkSettings settings;
    NetworkRule inbound;
    inbound.direction = NetworkRule::Direction::inbound;
    settings.includedNetworkRules = {inbound};
    std::optional<std::optional<Failure>> result;
    diversion.applySettings(settings, [&](std::optional<Failure> failure) { result = failure; });
    EXPECT_FALSE(result);  // completes on the executor, never inside the call
    io.run();
    ASSERT_TRUE(result && *result);
    EXPECT_EQ((*result)->description, "Inbound rules are not supported");
    EXPECT_TRUE(isPosixError((*result)->code, EINVAL));
}

}  // namespace
}  // namespace corvane::platform
