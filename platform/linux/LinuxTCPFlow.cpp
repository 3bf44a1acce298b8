#include "LinuxTCPFlow.hpp"

#include "SocketOptions.hpp"

#include <algorithm>

#include <asio/post.hpp>
#include <asio/write.hpp>

namespace corvane::platform {

LinuxTCPFlow::LinuxTCPFlow(asio::ip::tcp::socket socket, SocketAddress originalDestination, FlowMetaData metaData)
    : socket_(std::move(socket)),
      originalDestination_(originalDestination),
      metaData_(std::move(metaData)) {}

Endpoint LinuxTCPFlow::remoteEndpoint() const {
    return HostEndpoint{originalDestination_.hostText(), std::to_string(originalDestination_.port())};
}

void LinuxTCPFlow::open(std::function<void(Error)> completionHandler) {
    asio::post(socket_.get_executor(), [handler = std::move(completionHandler), self = shared_from_this()] { handler(Error()); });
}

void LinuxTCPFlow::readData(ReadHandler completionHandler) {
    asio::post(socket_.get_executor(), [this, self = shared_from_this(), handler = std::move(completionHandler)]() mutable {
        if (readClosed_ || !socket_.is_open()) return handler(std::nullopt, Error());
        readQueued(std::move(handler), false);
    });
}

// An idle connection holds no buffer: the read waits until the socket is readable,
// then takes one sized to what the kernel has queued.
void LinuxTCPFlow::readQueued(ReadHandler handler, bool readable) {
    Error error;
    const std::size_t queued = socket_.available(error);
    if (queued == 0 && !readable && !error) return awaitData(std::move(handler));
    Bytes buffer(std::clamp<std::size_t>(queued, 1, kReadSize));
    socket_.non_blocking(true, error);
    const std::size_t size = socket_.read_some(asio::buffer(buffer), error);
    if (error == asio::error::would_block || error == asio::error::try_again) return awaitData(std::move(handler));
    if (error == asio::error::eof) return handler(std::nullopt, Error());
    if (error) return handler(std::nullopt, error);
    buffer.resize(size);
    handler(std::move(buffer), Error());
}

void LinuxTCPFlow::awaitData(ReadHandler handler) {
    socket_.async_wait(asio::socket_base::wait_read,
                       [this, self = shared_from_this(), handler = std::move(handler)](Error error) mutable {
                           if (error) return handler(std::nullopt, error);
                           readQueued(std::move(handler), true);
                       });
}

void LinuxTCPFlow::write(Bytes data, WriteHandler completionHandler) {
    asio::post(socket_.get_executor(), [this, self = shared_from_this(), data = std::make_shared<Bytes>(std::move(data)),
                         handler = std::move(completionHandler)]() mutable {
        if (writeClosed_ || !socket_.is_open()) return handler(asio::error::broken_pipe);
        ++pendingWrites_;
        asio::async_write(socket_, asio::buffer(*data),
                          [this, self, data, handler = std::move(handler)](Error error, std::size_t) {
                              --pendingWrites_;
                              if (writeShutdownPending_ && pendingWrites_ == 0) closeWriteNow();
                              handler(error);
                          });
    });
}

void LinuxTCPFlow::closeRead(Error) {
    asio::post(socket_.get_executor(), [this, self = shared_from_this()] {
        if (readClosed_) return;
        readClosed_ = true;
        Error ignored;
        socket_.shutdown(asio::socket_base::shutdown_receive, ignored);
        closeIfDone();
    });
}

void LinuxTCPFlow::closeWrite(Error error) {
    asio::post(socket_.get_executor(), [this, self = shared_from_this(), error] {
        if (writeClosed_) return;
        writeClosed_ = true;
        if (error) {
            // An error the app must see: reset the connection at once.
            if (socket_.is_open()) sockopt::setResetOnClose(socket_.native_handle());
            Error ignored;
            socket_.close(ignored);
            return;
        }
        if (pendingWrites_ > 0) {
            writeShutdownPending_ = true;
            return;
        }
        closeWriteNow();
    });
}

void LinuxTCPFlow::closeWriteNow() {
    writeShutdownPending_ = false;
    Error ignored;
    socket_.shutdown(asio::socket_base::shutdown_send, ignored);
    closeIfDone();
}

void LinuxTCPFlow::closeIfDone() {
    if (readClosed_ && writeClosed_ && pendingWrites_ == 0 && !writeShutdownPending_) {
        Error ignored;
        socket_.close(ignored);
    }
}

asio::ip::tcp::socket LinuxTCPFlow::takeSocket() {
    readClosed_ = writeClosed_ = true;
    return std::move(socket_);
}

}  // namespace corvane::platform
