#pragma once

#include "SocketAddress.hpp"
#include "platform/AppProxyTCPFlow.hpp"

#include <asio/ip/tcp.hpp>

#include <memory>

namespace corvane::platform {

// An app's diverted TCP connection, as the provider sees it. Every call is
// carried out on the flow's event loop, which one thread runs, so the calls are
// serial without a strand of their own; the socket is closed once both sides
// are closed (an error on the write side closes at once, with a reset).
class LinuxTCPFlow final : public AppProxyTCPFlow, public std::enable_shared_from_this<LinuxTCPFlow> {
public:
    // The largest read; a read takes no more than the kernel has queued.
    static constexpr std::size_t kReadSize = 65536;

    LinuxTCPFlow(asio::ip::tcp::socket socket, SocketAddress originalDestination, FlowMetaData metaData);

    const FlowMetaData& metaData() const override { return metaData_; }
    std::optional<std::string> remoteHostname() const override { return std::nullopt; }
    Endpoint remoteEndpoint() const override;

    void open(std::function<void(Error)> completionHandler) override;
    void readData(ReadHandler completionHandler) override;
    void write(Bytes data, WriteHandler completionHandler) override;
    asio::ip::tcp::socket* kernelSocket() override { return &socket_; }
    void closeRead(Error error) override;
    void closeWrite(Error error) override;

    const SocketAddress& originalDestination() const { return originalDestination_; }
    // Hands the connection over (for a pass-through); the flow is closed after it.
    // Call it on no other thread than the one that received the flow back declined.
    asio::ip::tcp::socket takeSocket();

private:
    void readQueued(ReadHandler handler, bool readable);
    void awaitData(ReadHandler handler);
    void closeWriteNow();
    void closeIfDone();

    asio::ip::tcp::socket socket_;
    const SocketAddress originalDestination_;
    const FlowMetaData metaData_;
    bool readClosed_ = false;
    bool writeClosed_ = false;
    bool writeShutdownPending_ = false;
    std::size_t pendingWrites_ = 0;
};

}  // namespace corvane::platform
