#include "UDPInterceptor.hpp"

#include "NftablesRuleset.hpp"
#include "SocketDiagnostics.hpp"
#include "SocketOptions.hpp"

#include <asio/bind_executor.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>

#include <array>

namespace corvane::platform {

namespace {

constexpr int kBindAttempts = 16;

std::string keyOf(const SocketAddress& source) { return source.hostText() + "|" + std::to_string(source.port()); }

// One datagram with its source and original destination, or nothing when the
// socket has no more (or the datagram lacks its destination or was cut).
struct Received {
    Bytes payload;
    SocketAddress source;
    SocketAddress destination;
};

enum class ReceiveResult { datagram, skipped, empty };

ReceiveResult receiveOne(int fd, Received& out) {
    static thread_local std::array<std::uint8_t, UDPInterceptor::kDatagramSize> buffer;
    alignas(cmsghdr) std::array<char, 256> control{};
    iovec vector{buffer.data(), buffer.size()};
    msghdr message{};
    message.msg_name = out.source.raw();
    message.msg_namelen = sizeof(out.source.storage);
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    const ssize_t size = ::recvmsg(fd, &message, MSG_DONTWAIT);
    if (size < 0) return errno == EINTR ? ReceiveResult::skipped : ReceiveResult::empty;
    if (message.msg_flags & MSG_TRUNC) return ReceiveResult::skipped;
    bool found = false;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        const bool v4 = header->cmsg_level == SOL_IP && header->cmsg_type == IP_ORIGDSTADDR;
        const bool v6 = header->cmsg_level == SOL_IPV6 && header->cmsg_type == IPV6_ORIGDSTADDR;
        if (!v4 && !v6) continue;
        out.destination = SocketAddress::fromRaw(reinterpret_cast<const sockaddr*>(CMSG_DATA(header)),
                                                 v4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
        found = true;
    }
    if (!found) return ReceiveResult::skipped;
    out.payload.assign(buffer.begin(), buffer.begin() + size);
    return ReceiveResult::datagram;
}

std::unique_ptr<asio::ip::udp::socket> transparentSocket(asio::any_io_executor executor,
                                                         const asio::ip::udp::endpoint& endpoint,
                                                         asio::error_code& error) {
    auto socket = std::make_unique<asio::ip::udp::socket>(executor);
    socket->open(endpoint.protocol(), error);
    if (error) return nullptr;
    const int family = endpoint.protocol().family();
    if (family == AF_INET6) socket->set_option(asio::ip::v6_only(true), error);
    if (!error) error = sockopt::setTransparent(socket->native_handle(), family);
    if (!error) error = sockopt::receiveOriginalDestination(socket->native_handle(), family);
    if (!error) socket->bind(endpoint, error);
    if (!error) socket->non_blocking(true, error);
    return error ? nullptr : std::move(socket);
}

}  // namespace

UDPInterceptor::UDPInterceptor(asio::any_io_executor executor, std::shared_ptr<FlowOwnerLookup> owners,
                               std::shared_ptr<Nftables> nftables, Timing timing)
    : executor_(executor),
      strand_(asio::make_strand(executor)),
      owners_(std::move(owners)),
      nftables_(std::move(nftables)),
      timing_(timing),
      checkTimer_(strand_) {}

std::uint16_t UDPInterceptor::open(std::uint16_t port) {
    asio::error_code error;
    for (int attempt = 0; attempt < kBindAttempts; ++attempt) {
        sockets_.clear();
        auto v4 = transparentSocket(strand_, {asio::ip::address_v4::loopback(), port}, error);
        if (!v4) throw std::system_error(error, "UDP diversion socket");
        const auto chosen = v4->local_endpoint().port();
        auto v6 = transparentSocket(strand_, {asio::ip::address_v6::loopback(), chosen}, error);
        if (!v6 && port == 0 && error == asio::error::address_in_use) continue;
        if (!v6) throw std::system_error(error, "UDP diversion socket (IPv6)");
        sockets_.push_back(std::move(v4));
        sockets_.push_back(std::move(v6));
        return chosen;
    }
    throw std::system_error(error, "UDP diversion socket");
}

void UDPInterceptor::start(DiversionBackend::FlowHandler newFlow, const DiversionConstants& constants) {
    asio::post(strand_, [self = shared_from_this(), newFlow = std::move(newFlow), constants]() mutable {
        self->newFlow_ = std::move(newFlow);
        self->constants_ = constants;
        for (std::size_t i = 0; i < self->sockets_.size(); ++i) self->receive(i);
        self->scheduleCheck();
    });
}

void UDPInterceptor::close() {
    asio::post(strand_, [self = shared_from_this()] {
        self->closed_ = true;
        for (auto& socket : self->sockets_) {
            asio::error_code ignored;
            socket->close(ignored);
        }
        self->checkTimer_.cancel();
        for (auto& [key, entry] : self->flows_) {
            if (auto* flow = std::get_if<std::shared_ptr<LinuxUDPFlow>>(&entry)) (*flow)->end();
            else std::get<std::shared_ptr<UDPPassThrough>>(entry)->close();
        }
        self->flows_.clear();
    });
}

void UDPInterceptor::receive(std::size_t which) {
    sockets_[which]->async_wait(asio::socket_base::wait_read,
                                asio::bind_executor(strand_, [self = shared_from_this(), which](asio::error_code error) {
                                    if (error || self->closed_) return;
                                    self->drain(*self->sockets_[which]);
                                    self->receive(which);
                                }));
}

void UDPInterceptor::drain(asio::ip::udp::socket& socket) {
    Received received;
    for (int budget = 0; budget < 256; ++budget) {
        const auto result = receiveOne(socket.native_handle(), received);
        if (result == ReceiveResult::empty) return;
        if (result == ReceiveResult::datagram)
            dispatch(std::move(received.payload), received.source.unmapped(), received.destination.unmapped());
    }
}

void UDPInterceptor::dispatch(Bytes payload, const SocketAddress& source, const SocketAddress& destination) {
    const auto key = keyOf(source);
    if (const auto existing = flows_.find(key); existing != flows_.end()) {
        if (auto* flow = std::get_if<std::shared_ptr<LinuxUDPFlow>>(&existing->second))
            (*flow)->push({std::move(payload), destination});
        else
            std::get<std::shared_ptr<UDPPassThrough>>(existing->second)->send(std::move(payload), destination);
        return;
    }
    if (flows_.size() >= kFlowLimit) return;
    std::weak_ptr<UDPInterceptor> weak = shared_from_this();
    auto flow = std::make_shared<LinuxUDPFlow>(executor_, source, constants_.bypassMark, nullptr);
    flow->setClosedHandler([weak, source, raw = flow.get()] {
        if (auto self = weak.lock())
            asio::post(self->strand_, [self, source, raw] { self->removeFlow(source, raw); });
    });
    flow->push({std::move(payload), destination});
    flows_.emplace(key, flow);
    asio::post(executor_, [self = shared_from_this(), flow, destination] { self->offer(flow, destination); });
}

void UDPInterceptor::offer(std::shared_ptr<LinuxUDPFlow> flow, const SocketAddress& firstDestination) {
    auto owner = owners_->udpOwner(flow->source(), firstDestination);
    flow->setOwner(std::move(owner.metaData), owner.socketInode);
    if (owner.isDaemon || !newFlow_(flow))
        asio::post(strand_, [self = shared_from_this(), flow] { self->decline(flow); });
}

void UDPInterceptor::decline(const std::shared_ptr<LinuxUDPFlow>& flow) {
    const auto& source = flow->source();
    const auto found = flows_.find(keyOf(source));
    if (found == flows_.end() || closed_) return;
    nftables_->run(NftablesRuleset::declinedElement(source.hostText(), source.port(), source.family() == AF_INET6,
                                                    timing_.declinedSeconds, constants_));
    auto passThrough =
        std::make_shared<UDPPassThrough>(executor_, source, constants_.bypassMark, timing_.passThroughLinger);
    for (auto& datagram : flow->takeBuffered()) passThrough->send(std::move(datagram.payload), datagram.destination);
    found->second = passThrough;
}

void UDPInterceptor::removeFlow(const SocketAddress& source, const LinuxUDPFlow* flow) {
    const auto found = flows_.find(keyOf(source));
    if (found == flows_.end()) return;
    if (auto* stored = std::get_if<std::shared_ptr<LinuxUDPFlow>>(&found->second); stored && stored->get() == flow)
        flows_.erase(found);
}

void UDPInterceptor::scheduleCheck() {
    checkTimer_.expires_after(timing_.socketCheck);
    checkTimer_.async_wait([self = shared_from_this()](asio::error_code error) {
        if (error || self->closed_) return;
        self->checkSockets();
        self->scheduleCheck();
    });
}

void UDPInterceptor::checkSockets() {
    const auto v4 = SocketDiagnostics::udpSockets(AF_INET);
    const auto v6 = SocketDiagnostics::udpSockets(AF_INET6);
    if (!v4 || !v6) return;
    const auto now = std::chrono::steady_clock::now();
    for (auto it = flows_.begin(); it != flows_.end();) {
        bool gone = false;
        if (auto* flow = std::get_if<std::shared_ptr<LinuxUDPFlow>>(&it->second)) {
            const auto& source = (*flow)->source();
            const auto inode = (*flow)->socketInode();
            const bool alive =
                inode != 0 ? SocketDiagnostics::holdsSocket(*v4, source, inode) ||
                                 SocketDiagnostics::holdsSocket(*v6, source, inode)
                           : SocketDiagnostics::findSender(*v4, source) || SocketDiagnostics::findSender(*v6, source);
            if (!alive) (*flow)->end();
            gone = !alive;
        } else {
            const auto& passThrough = std::get<std::shared_ptr<UDPPassThrough>>(it->second);
            gone = passThrough->expired(now);
            if (gone) passThrough->close();
        }
        it = gone ? flows_.erase(it) : std::next(it);
    }
}

}  // namespace corvane::platform
