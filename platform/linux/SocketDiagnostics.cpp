#include "SocketDiagnostics.hpp"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>

namespace corvane::platform {

namespace {

class NetlinkSocket {
public:
    NetlinkSocket() : fd_(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {
        if (fd_ >= 0) {
            timeval timeout{1, 0};
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
        }
    }
    ~NetlinkSocket() {
        if (fd_ >= 0) ::close(fd_);
    }
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// One socket for the process, kept between questions and used by one
// question at a time; dropped after a failed exchange, which may have left
// answers behind.
class SharedSocket {
public:
    std::mutex lock;

    int fd() {
        if (!socket_) socket_ = std::make_unique<NetlinkSocket>();
        return socket_->fd();
    }
    void drop() { socket_.reset(); }

private:
    std::unique_ptr<NetlinkSocket> socket_;
};

struct Request {
    nlmsghdr header;
    inet_diag_req_v2 body;
};

// A dump request that the kernel filters by local port: "source port equal
// to", whose operand follows the operation.
struct PortFilteredRequest {
    Request request;
    nlattr attribute;
    inet_diag_bc_op operation;
    inet_diag_bc_op operand;
};

void copyAddress(__be32 (&target)[4], const SocketAddress& address) {
    std::memcpy(target, address.addressBytes(), address.addressSize());
}

Request makeRequest(int family, int protocol, bool dump) {
    Request request{};
    request.header.nlmsg_len = sizeof(request);
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.header.nlmsg_flags = NLM_F_REQUEST | (dump ? NLM_F_DUMP : 0);
    request.header.nlmsg_seq = 1;
    request.body.sdiag_family = static_cast<std::uint8_t>(family);
    request.body.sdiag_protocol = static_cast<std::uint8_t>(protocol);
    request.body.idiag_states = ~0U;
    request.body.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    return request;
}

PortFilteredRequest udpDumpOnPort(int family, std::uint16_t port) {
    PortFilteredRequest filtered{};
    filtered.request = makeRequest(family, IPPROTO_UDP, true);
    filtered.request.header.nlmsg_len = sizeof(filtered);
    filtered.attribute.nla_len = sizeof(nlattr) + 2 * sizeof(inet_diag_bc_op);
    filtered.attribute.nla_type = INET_DIAG_REQ_BYTECODE;
    // Match: go to the end (accept); no match: jump past it (reject).
    filtered.operation = {INET_DIAG_BC_S_EQ, 2 * sizeof(inet_diag_bc_op), 3 * sizeof(inet_diag_bc_op)};
    filtered.operand.no = port;
    return filtered;
}

SocketDiagnostics::Entry entryFrom(const inet_diag_msg& message) {
    SocketDiagnostics::Entry entry;
    if (message.idiag_family == AF_INET6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&entry.local.storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = message.id.idiag_sport;
        std::memcpy(&v6->sin6_addr, message.id.idiag_src, 16);
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&entry.local.storage);
        v4->sin_family = AF_INET;
        v4->sin_port = message.id.idiag_sport;
        std::memcpy(&v4->sin_addr, message.id.idiag_src, 4);
    }
    entry.uid = message.idiag_uid;
    entry.inode = message.idiag_inode;
    entry.cookie = SocketDiagnostics::cookieOf(message);
    return entry;
}

// Sends one request (its header leads the whole message) and hands every
// answer to `each`; false when the kernel could not be asked or answered with
// an error other than "no such socket".
bool exchangeOn(int fd, const nlmsghdr& message, const std::function<void(const inet_diag_msg&)>& each) {
    const bool dump = message.nlmsg_flags & NLM_F_DUMP;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, &message, message.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof(kernel)) < 0)
        return false;
    alignas(nlmsghdr) std::array<char, 32768> buffer;
    while (true) {
        const ssize_t received = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (received < 0 && errno == EINTR) continue;
        if (received <= 0) return false;
        int remaining = static_cast<int>(received);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            if (header->nlmsg_type == NLMSG_DONE) return true;
            if (header->nlmsg_type == NLMSG_ERROR) {
                const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
                return error->error == 0 || error->error == -ENOENT;
            }
            if (header->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
                header->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg)))
                each(*static_cast<const inet_diag_msg*>(NLMSG_DATA(header)));
        }
        if (!dump) return true;
    }
}

// Sends one request (its header leads the whole message) and hands every
// answer to `each`; false when the kernel could not be asked or answered with
// an error other than "no such socket".
bool exchange(const nlmsghdr& message, const std::function<void(const inet_diag_msg&)>& each) {
    static SharedSocket socket;
    std::lock_guard guard(socket.lock);
    const int fd = socket.fd();
    if (fd < 0) {
        socket.drop();
        return false;
    }
    const bool answered = exchangeOn(fd, message, each);
    if (!answered) socket.drop();
    return answered;
}

}  // namespace

std::optional<SocketDiagnostics::Entry> SocketDiagnostics::tcpSocket(const SocketAddress& local,
                                                                    const SocketAddress& remote) {
    if (local.family() != remote.family()) return std::nullopt;
    auto request = makeRequest(local.family(), IPPROTO_TCP, false);
    request.body.id.idiag_sport = htons(local.port());
    request.body.id.idiag_dport = htons(remote.port());
    copyAddress(request.body.id.idiag_src, local);
    copyAddress(request.body.id.idiag_dst, remote);
    std::optional<Entry> found;
    exchange(request.header, [&](const inet_diag_msg& message) { found = entryFrom(message); });
    return found;
}

std::optional<std::vector<SocketDiagnostics::Entry>> SocketDiagnostics::udpSockets(int family) {
    std::vector<Entry> entries;
    if (!exchange(makeRequest(family, IPPROTO_UDP, true).header,
                  [&](const inet_diag_msg& message) { entries.push_back(entryFrom(message)); }))
        return std::nullopt;
    return entries;
}

std::uint64_t SocketDiagnostics::cookieOf(const inet_diag_msg& message) {
    return message.id.idiag_cookie[0] | std::uint64_t(message.id.idiag_cookie[1]) << 32;
}

const SocketDiagnostics::Entry* SocketDiagnostics::findSender(const std::vector<Entry>& entries,
                                                            const SocketAddress& source) {
    for (const auto& entry : entries) {
        if (entry.local.port() != source.port()) continue;
        const auto local = entry.local.unmapped();
        if (local.isUnspecified() && (local.family() == source.family() || local.family() == AF_INET6))
            return &entry;
        if (local.sameAddress(source)) return &entry;
    }
    return nullptr;
}

bool SocketDiagnostics::holdsSocket(const std::vector<Entry>& entries, const SocketAddress& source,
                                    std::uint64_t inode) {
    for (const auto& entry : entries)
        if (entry.inode == inode && entry.local.port() == source.port()) return true;
    return false;
}

std::optional<SocketDiagnostics::Entry> SocketDiagnostics::udpSender(const SocketAddress& source,
                                                                    const SocketAddress& destination) {
    if (source.family() == destination.family()) {
        // The kernel's UDP look-up takes the request's source as the remote
        // end, the way it looks up a socket for an arriving datagram.
        auto request = makeRequest(source.family(), IPPROTO_UDP, false);
        request.body.id.idiag_sport = htons(destination.port());
        request.body.id.idiag_dport = htons(source.port());
        copyAddress(request.body.id.idiag_src, destination);
        copyAddress(request.body.id.idiag_dst, source);
        std::optional<Entry> found;
        exchange(request.header, [&](const inet_diag_msg& message) { found = entryFrom(message); });
        if (found && found->local.port() == source.port()) return found;
    }
    // A socket bound to a device is found only by a listing.
    return udpSocket(source);
}

std::optional<SocketDiagnostics::Entry> SocketDiagnostics::udpSocket(const SocketAddress& source) {
    std::optional<Entry> found;
    const auto search = [&](int family) {
        std::vector<Entry> entries;
        exchange(udpDumpOnPort(family, source.port()).request.header,
                 [&](const inet_diag_msg& message) { entries.push_back(entryFrom(message)); });
        if (const auto* entry = findSender(entries, source)) found = *entry;
    };
    search(source.family());
    if (!found && source.family() == AF_INET) search(AF_INET6);
    return found;
}

}  // namespace corvane::platform
