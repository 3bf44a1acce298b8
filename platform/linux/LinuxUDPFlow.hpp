#pragma once

#include "ReplySockets.hpp"
#include "SocketAddress.hpp"
#include "platform/AppProxyUDPFlow.hpp"

#include <asio/any_io_executor.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace corvane::platform {

// One app UDP socket whose datagrams the TPROXY hook diverted. Datagrams wait
// in a buffer bounded in count and bytes until the provider reads them (the
// oldest are dropped beyond it); replies are sent from the addresses the app
// sent to, through reply sockets shared with the other flows.
class LinuxUDPFlow final : public AppProxyUDPFlow, public std::enable_shared_from_this<LinuxUDPFlow> {
public:
    static constexpr std::size_t kBufferLimit = 256;
    static constexpr std::size_t kBufferBytes = 256 * 1024;
    // How long the flow of a gone socket waits for the answer to what it sent last.
    static constexpr std::chrono::seconds kAnswerGrace{2};

    struct Datagram {
        Bytes payload;
        SocketAddress destination;
    };

    // `closed` runs once, when the provider has closed both sides.
    LinuxUDPFlow(asio::any_io_executor executor, SocketAddress source, std::shared_ptr<ReplySockets> replies,
                 std::function<void()> closed);

    const FlowMetaData& metaData() const override { return metaData_; }
    std::optional<std::string> remoteHostname() const override { return std::nullopt; }
    void open(std::function<void(Error)> completionHandler) override;
    void readDatagrams(ReadHandler completionHandler) override;
    void writeDatagrams(std::vector<Bytes> datagrams, std::vector<Endpoint> sentBy,
                        WriteHandler completionHandler) override;
    void closeRead(Error error) override;
    void closeWrite(Error error) override;

    std::optional<std::uint16_t> firstDestinationPort() const override;

    void setClosedHandler(std::function<void()> closed) { closed_ = std::move(closed); }
    // The app's socket, known when the flow is made.
    void setSocketInode(std::uint64_t socketInode) { socketInode_ = socketInode; }
    // Set once, before the flow is offered to the provider.
    void setOwner(FlowMetaData metaData) { metaData_ = std::move(metaData); }
    std::uint64_t socketInode() const { return socketInode_; }
    const SocketAddress& source() const { return source_; }

    void push(Datagram datagram);
    // The app's socket is gone: what it sent is still read, then a read
    // completes with nothing; when the last datagram read has had no answer
    // yet, once one is written or the grace time is over. (A new socket that
    // took the port at once may have sent it: its answer still reaches it.)
    void end();
    // Takes what is buffered (for a pass-through after a decline) and ends the flow.
    std::vector<Datagram> takeBuffered();

private:
    void complete(ReadHandler handler, std::vector<Datagram> datagrams);
    std::vector<Datagram> takeAllLocked();
    void awaitAnswerLocked();
    void endRead();
    void closeSide(bool read);

    asio::any_io_executor executor_;
    const SocketAddress source_;
    FlowMetaData metaData_;
    std::uint64_t socketInode_ = 0;
    std::function<void()> closed_;

    mutable std::mutex lock_;
    std::optional<std::uint16_t> firstDestinationPort_;
    std::deque<Datagram> buffer_;
    std::size_t bufferedBytes_ = 0;
    ReadHandler pendingRead_;
    bool ended_ = false;
    bool awaitingAnswer_ = false;  // datagrams were read and nothing was written since
    asio::steady_timer grace_;
    bool readClosed_ = false;
    bool writeClosed_ = false;
    const std::shared_ptr<ReplySockets> replies_;
};

}  // namespace corvane::platform
