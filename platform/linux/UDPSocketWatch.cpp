#include "UDPSocketWatch.hpp"

#include "SocketDiagnostics.hpp"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace corvane::platform {

namespace {

// Room for a few thousand notices while the loop is busy.
constexpr int kReceiveBuffer = 4 << 20;
// Notices read per wake-up before other work gets its turn.
constexpr int kBudget = 512;

int subscribedSocket() {
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_SOCK_DIAG);
    if (fd < 0) return -1;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = (1U << (SKNLGRP_INET_UDP_DESTROY - 1)) | (1U << (SKNLGRP_INET6_UDP_DESTROY - 1));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
        ::close(fd);
        return -1;
    }
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBuffer, sizeof(kReceiveBuffer)) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof(kReceiveBuffer));
    return fd;
}

}  // namespace

UDPSocketWatch::UDPSocketWatch(asio::any_io_executor executor) : descriptor_(std::move(executor)) {}

bool UDPSocketWatch::open() {
    const int fd = subscribedSocket();
    if (fd < 0) return false;
    descriptor_.assign(fd);
    return true;
}

void UDPSocketWatch::start(Destroyed destroyed, Missed missed) {
    destroyed_ = std::move(destroyed);
    missed_ = std::move(missed);
    if (descriptor_.is_open()) wait();
}

void UDPSocketWatch::close() {
    asio::error_code ignored;
    descriptor_.close(ignored);
}

void UDPSocketWatch::wait() {
    descriptor_.async_wait(asio::posix::descriptor_base::wait_read, [self = shared_from_this()](asio::error_code error) {
        if (error || !self->descriptor_.is_open()) return;
        self->drain();
        self->wait();
    });
}

void UDPSocketWatch::drain() {
    alignas(nlmsghdr) std::array<char, 8192> buffer;
    for (int budget = 0; budget < kBudget; ++budget) {
        const ssize_t received = ::recv(descriptor_.native_handle(), buffer.data(), buffer.size(), 0);
        if (received < 0 && errno == EINTR) continue;
        if (received < 0 && errno == ENOBUFS) {
            missed_();
            continue;
        }
        if (received <= 0) return;
        int remaining = static_cast<int>(received);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY || header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
                continue;
            const auto& message = *static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
            destroyed_(SocketDiagnostics::cookieOf(message));
        }
    }
}

}  // namespace corvane::platform
