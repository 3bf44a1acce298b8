#include "LinuxUDPFlow.hpp"

#include "CorvaneCore/Support/StandardInteger.hpp"

#include <asio/post.hpp>

namespace corvane::platform {

namespace {

std::optional<SocketAddress> literalEndpoint(const Endpoint& endpoint) {
    const auto* host = hostEndpoint(endpoint);
    if (!host) return std::nullopt;
    const auto port = parseStandardInteger<std::uint16_t>(host->port);
    if (!port) return std::nullopt;
    return SocketAddress::fromText(host->hostname, *port);
}

}  // namespace

LinuxUDPFlow::LinuxUDPFlow(asio::any_io_executor executor, SocketAddress source, std::shared_ptr<ReplySockets> replies,
                           std::function<void()> closed)
    : executor_(std::move(executor)),
      source_(source),
      closed_(std::move(closed)),
      grace_(executor_),
      replies_(std::move(replies)) {}

std::optional<std::uint16_t> LinuxUDPFlow::firstDestinationPort() const {
    std::lock_guard guard(lock_);
    return firstDestinationPort_;
}

void LinuxUDPFlow::open(std::function<void(Error)> completionHandler) {
    asio::post(executor_, [handler = std::move(completionHandler)] { handler(Error()); });
}

void LinuxUDPFlow::complete(ReadHandler handler, std::vector<Datagram> datagrams) {
    asio::post(executor_, [handler = std::move(handler), datagrams = std::move(datagrams)]() mutable {
        if (datagrams.empty()) return handler(std::nullopt, std::nullopt, Error());
        std::vector<Bytes> payloads;
        std::vector<Endpoint> endpoints;
        for (auto& datagram : datagrams) {
            endpoints.push_back(HostEndpoint{datagram.destination.hostText(), std::to_string(datagram.destination.port())});
            payloads.push_back(std::move(datagram.payload));
        }
        handler(std::move(payloads), std::move(endpoints), Error());
    });
}

std::vector<LinuxUDPFlow::Datagram> LinuxUDPFlow::takeAllLocked() {
    std::vector<Datagram> taken(std::make_move_iterator(buffer_.begin()), std::make_move_iterator(buffer_.end()));
    buffer_.clear();
    bufferedBytes_ = 0;
    return taken;
}

void LinuxUDPFlow::readDatagrams(ReadHandler completionHandler) {
    std::vector<Datagram> ready;
    {
        std::lock_guard guard(lock_);
        if (!readClosed_ && buffer_.empty() && (!ended_ || awaitingAnswer_)) {
            pendingRead_ = std::move(completionHandler);
            if (ended_) awaitAnswerLocked();
            return;
        }
        ready = takeAllLocked();
        awaitingAnswer_ = awaitingAnswer_ || !ready.empty();
    }
    complete(std::move(completionHandler), std::move(ready));
}

void LinuxUDPFlow::push(Datagram datagram) {
    ReadHandler handler;
    std::vector<Datagram> ready;
    {
        std::lock_guard guard(lock_);
        if (!firstDestinationPort_) firstDestinationPort_ = datagram.destination.port();
        if (ended_ || readClosed_) return;
        bufferedBytes_ += datagram.payload.size();
        buffer_.push_back(std::move(datagram));
        while (buffer_.size() > kBufferLimit || bufferedBytes_ > kBufferBytes) {
            bufferedBytes_ -= buffer_.front().payload.size();
            buffer_.pop_front();
        }
        if (!pendingRead_) return;
        handler = std::move(pendingRead_);
        pendingRead_ = nullptr;
        ready = takeAllLocked();
        awaitingAnswer_ = true;
    }
    complete(std::move(handler), std::move(ready));
}

void LinuxUDPFlow::end() {
    {
        std::lock_guard guard(lock_);
        ended_ = true;
        // A waiting read means nothing is buffered.
        if (!pendingRead_) return;
        if (awaitingAnswer_) return awaitAnswerLocked();
    }
    endRead();
}

void LinuxUDPFlow::awaitAnswerLocked() {
    grace_.expires_after(kAnswerGrace);
    grace_.async_wait([weak = weak_from_this()](Error error) {
        if (auto self = weak.lock(); self && !error) self->endRead();
    });
}

// Completes a waiting read with nothing: the flow has ended.
void LinuxUDPFlow::endRead() {
    ReadHandler handler;
    {
        std::lock_guard guard(lock_);
        awaitingAnswer_ = false;
        handler = std::move(pendingRead_);
        pendingRead_ = nullptr;
    }
    if (handler) complete(std::move(handler), {});
}

std::vector<LinuxUDPFlow::Datagram> LinuxUDPFlow::takeBuffered() {
    std::lock_guard guard(lock_);
    ended_ = true;
    return takeAllLocked();
}

void LinuxUDPFlow::writeDatagrams(std::vector<Bytes> datagrams, std::vector<Endpoint> sentBy,
                                  WriteHandler completionHandler) {
    Error result;
    bool closed = false;
    {
        std::lock_guard guard(lock_);
        closed = writeClosed_;
    }
    for (std::size_t i = 0; i < datagrams.size() && i < sentBy.size(); ++i) {
        const auto from = literalEndpoint(sentBy[i]);
        // A reply named by host name (a SOCKS5 domain reply) has no address to come from.
        const Error error = closed ? Error(asio::error::broken_pipe)
                            : from ? replies_->send(*from, source_, datagrams[i])
                                   : std::make_error_code(std::errc::invalid_argument);
        if (error && !result) result = error;
    }
    bool answeredLast = false;
    {
        std::lock_guard guard(lock_);
        answeredLast = ended_ && pendingRead_;
        awaitingAnswer_ = false;
        if (answeredLast) grace_.cancel();
    }
    if (answeredLast) endRead();
    if (completionHandler) asio::post(executor_, [handler = std::move(completionHandler), result] { handler(result); });
}

void LinuxUDPFlow::closeSide(bool read) {
    ReadHandler handler;
    bool nowClosed = false;
    {
        std::lock_guard guard(lock_);
        bool& side = read ? readClosed_ : writeClosed_;
        if (side) return;
        side = true;
        if (read) {
            handler = std::move(pendingRead_);
            pendingRead_ = nullptr;
            takeAllLocked();
            grace_.cancel();
        }
        nowClosed = readClosed_ && writeClosed_;
    }
    if (handler) complete(std::move(handler), {});
    if (nowClosed && closed_) closed_();
}

void LinuxUDPFlow::closeRead(Error) { closeSide(true); }
void LinuxUDPFlow::closeWrite(Error) { closeSide(false); }

}  // namespace corvane::platform
