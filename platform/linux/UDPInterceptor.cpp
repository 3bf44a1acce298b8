#include "UDPInterceptor.hpp"

#include "SocketDiagnostics.hpp"
#include "SocketOptions.hpp"
#include "platform/ReceiveDatagram.hpp"

#include <asio/bind_executor.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>

#include <array>

namespace corvane::platform {

namespace {

constexpr int kBindAttempts = 16;
// Room for several thousand datagrams while the loop sets new flows up, so
// that a storm of new sources does not push out those of existing flows.
constexpr int kReceiveBuffer = 8 << 20;
// How soon the sockets are checked after the kernel dropped destruction reports.
constexpr auto kRecheck = std::chrono::seconds(1);

void enlargeReceiveBuffer(int fd) {
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBuffer, sizeof(kReceiveBuffer)) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof(kReceiveBuffer));
}

// One datagram with its source and original destination, or nothing when the
// socket has no more (or the datagram lacks its destination or was cut).
struct Received {
    Bytes payload;
    SocketAddress source;
    SocketAddress destination;
};

enum class ReceiveResult { datagram, skipped, empty };

ReceiveResult receiveOne(int fd, Received& out) {
    static thread_local std::array<std::uint8_t, kMaximumDatagramSize> buffer;
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
    if (!error) enlargeReceiveBuffer(socket->native_handle());
    return error ? nullptr : std::move(socket);
}

}  // namespace

UDPInterceptor::UDPInterceptor(asio::any_io_executor executor, std::shared_ptr<FlowOwnerLookup> owners,
                               std::shared_ptr<Nftables> nftables, Timing timing, std::size_t flowLimit,
                               bool watchSockets)
    : executor_(executor),
      strand_(asio::make_strand(executor)),
      owners_(std::move(owners)),
      nftables_(std::move(nftables)),
      timing_(timing),
      flowLimit_(flowLimit),
      watchSockets_(watchSockets),
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
        self->replies_ = std::make_shared<ReplySockets>(constants.bypassMark);
        self->declined_ = std::make_unique<DeclinedSetWriter>(self->nftables_, constants, self->timing_.declinedSeconds);
        self->watch_ = std::make_shared<UDPSocketWatch>(self->strand_);
        self->watching_ = self->watchSockets_ && self->watch_->open();
        std::weak_ptr<UDPInterceptor> weak = self;
        self->watch_->start(
            [weak](std::uint64_t cookie) {
                if (auto interceptor = weak.lock()) interceptor->socketDestroyed(cookie);
            },
            [weak] {
                auto interceptor = weak.lock();
                if (interceptor && interceptor->checkTimer_.expiry() > std::chrono::steady_clock::now() + kRecheck)
                    interceptor->scheduleCheck(kRecheck);
            });
        for (std::size_t i = 0; i < self->sockets_.size(); ++i) self->receive(i);
        self->scheduleCheck(self->timing_.socketCheck);
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
        if (self->watch_) self->watch_->close();
        for (auto& [key, entry] : self->flows_) self->end(entry);
        self->flows_.clear();
        self->cookies_.clear();
        self->declined_.reset();
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
        if (result == ReceiveResult::empty) break;
        if (result == ReceiveResult::datagram)
            dispatch(std::move(received.payload), received.source.unmapped(), received.destination.unmapped());
    }
    forgetGoneSources();
}

// A socket found gone keeps its flow for the datagrams that were queued with
// its first; then the flow ends, and a later datagram from its address and
// port is a new socket's.
void UDPInterceptor::forgetGoneSources() {
    for (const auto& key : goneSources_) {
        const auto found = flows_.find(key);
        if (found == flows_.end() || found->second.cookie != 0) continue;
        end(found->second);
        erase(found);
    }
    goneSources_.clear();
}

void UDPInterceptor::dispatch(Bytes payload, const SocketAddress& source, const SocketAddress& destination) {
    if (const auto existing = flows_.find(AddressKey(source)); existing != flows_.end()) {
        if (auto* flow = std::get_if<std::shared_ptr<LinuxUDPFlow>>(&existing->second.target))
            (*flow)->push({std::move(payload), destination});
        else
            std::get<std::shared_ptr<UDPPassThrough>>(existing->second.target)->send(std::move(payload), destination);
        return;
    }
    // Beyond the bound a new source is dropped; the flows already there keep theirs.
    if (flows_.size() >= flowLimit_) return;
    startFlow(std::move(payload), source, destination);
}

// The flow is known by its socket's cookie before any report of the socket's
// destruction is read, so that such a report always finds it; its owner is
// found off the loop, and the flow is offered once it is.
void UDPInterceptor::startFlow(Bytes payload, const SocketAddress& source, const SocketAddress& destination) {
    const auto socket = SocketDiagnostics::udpSender(source, destination);
    const std::uint64_t cookie = socket ? socket->cookie : 0;
    std::weak_ptr<UDPInterceptor> weak = shared_from_this();
    auto flow = std::make_shared<LinuxUDPFlow>(executor_, source, replies_, nullptr);
    flow->setClosedHandler([weak, source, raw = flow.get()] {
        if (auto self = weak.lock())
            asio::post(self->strand_, [self, source, raw] { self->removeFlow(source, raw); });
    });
    flow->setSocketInode(socket ? socket->inode : 0);
    flow->push({std::move(payload), destination});
    const AddressKey key(source);
    flows_.emplace(key, Entry{flow, cookie});
    if (cookie != 0) cookies_.emplace(cookie, key);
    // The socket is gone already: what it sent is still offered.
    if (watching_ && cookie == 0) goneSources_.push_back(key);
    owners_->udpOwner(source, socket, executor_, [weak, flow](FlowOwnerLookup::Owner owner) {
        auto self = weak.lock();
        if (!self) return;
        flow->setOwner(std::move(owner.metaData));
        self->offer(flow, owner.isDaemon);
    });
}

void UDPInterceptor::offer(std::shared_ptr<LinuxUDPFlow> flow, bool isDaemon) {
    if (isDaemon || !newFlow_(flow)) asio::post(strand_, [self = shared_from_this(), flow] { self->decline(flow); });
}

void UDPInterceptor::decline(const std::shared_ptr<LinuxUDPFlow>& flow) {
    if (closed_) return;
    const auto& source = flow->source();
    auto datagrams = flow->takeBuffered();
    const auto found = flows_.find(AddressKey(source));
    const auto* stored = found == flows_.end() ? nullptr : std::get_if<std::shared_ptr<LinuxUDPFlow>>(&found->second.target);
    if (!stored || *stored != flow) {
        // The socket is gone: what it sent goes out, no answer can reach it.
        if (!datagrams.empty()) passThrough(source, std::move(datagrams))->close();
        return;
    }
    declined_->add(source);
    found->second.target = passThrough(source, std::move(datagrams));
}

std::shared_ptr<UDPPassThrough> UDPInterceptor::passThrough(const SocketAddress& source,
                                                            std::vector<LinuxUDPFlow::Datagram> datagrams) {
    auto passThrough =
        std::make_shared<UDPPassThrough>(executor_, source, constants_.bypassMark, replies_, timing_.passThroughLinger);
    for (auto& datagram : datagrams) passThrough->send(std::move(datagram.payload), datagram.destination);
    return passThrough;
}

void UDPInterceptor::removeFlow(const SocketAddress& source, const LinuxUDPFlow* flow) {
    const auto found = flows_.find(AddressKey(source));
    if (found == flows_.end()) return;
    if (auto* stored = std::get_if<std::shared_ptr<LinuxUDPFlow>>(&found->second.target); stored && stored->get() == flow)
        erase(found);
}

void UDPInterceptor::socketDestroyed(std::uint64_t cookie) {
    if (closed_ || !cookies_.contains(cookie)) return;
    // What the socket sent before it closed is queued already: it joins the
    // flow before the flow ends.
    for (auto& socket : sockets_) drain(*socket);
    const auto [first, last] = cookies_.equal_range(cookie);
    for (auto reported = first; reported != last; ++reported) {
        const auto found = flows_.find(reported->second);
        if (found == flows_.end() || found->second.cookie != cookie) continue;
        end(found->second);
        flows_.erase(found);
    }
    cookies_.erase(first, last);
}

UDPInterceptor::Flows::iterator UDPInterceptor::erase(Flows::iterator entry) {
    const auto [first, last] = cookies_.equal_range(entry->second.cookie);
    for (auto reported = first; reported != last; ++reported) {
        if (reported->second == entry->first) {
            cookies_.erase(reported);
            break;
        }
    }
    return flows_.erase(entry);
}

void UDPInterceptor::end(Entry& entry) {
    if (auto* flow = std::get_if<std::shared_ptr<LinuxUDPFlow>>(&entry.target)) (*flow)->end();
    else std::get<std::shared_ptr<UDPPassThrough>>(entry.target)->close();
}

void UDPInterceptor::scheduleCheck(std::chrono::steady_clock::duration after) {
    checkTimer_.expires_after(after);
    checkTimer_.async_wait([self = shared_from_this()](asio::error_code error) {
        if (error || self->closed_) return;
        self->checkSockets();
        self->scheduleCheck(self->timing_.socketCheck);
    });
}

void UDPInterceptor::checkSockets() {
    const auto v4 = SocketDiagnostics::udpSockets(AF_INET);
    const auto v6 = SocketDiagnostics::udpSockets(AF_INET6);
    if (!v4 || !v6) return;
    const auto now = std::chrono::steady_clock::now();
    for (auto it = flows_.begin(); it != flows_.end();) {
        bool gone = false;
        if (auto* flow = std::get_if<std::shared_ptr<LinuxUDPFlow>>(&it->second.target)) {
            const auto& source = (*flow)->source();
            const auto inode = (*flow)->socketInode();
            gone = inode != 0 ? !SocketDiagnostics::holdsSocket(*v4, source, inode) &&
                                    !SocketDiagnostics::holdsSocket(*v6, source, inode)
                              : !SocketDiagnostics::findSender(*v4, source) && !SocketDiagnostics::findSender(*v6, source);
        } else {
            gone = std::get<std::shared_ptr<UDPPassThrough>>(it->second.target)->expired(now);
        }
        if (gone) end(it->second);
        it = gone ? erase(it) : std::next(it);
    }
}

}  // namespace corvane::platform
