#include "ReplySockets.hpp"

#include "SocketOptions.hpp"

#include <unistd.h>

namespace corvane::platform {

ReplySockets::~ReplySockets() {
    for (const auto& [key, fd] : order_) ::close(fd);
}

int ReplySockets::open(const SocketAddress& from, std::error_code& error) const {
    const int fd = ::socket(from.family(), SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = sockopt::lastError();
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    error = sockopt::setTransparent(fd, from.family());
    if (!error) error = sockopt::setMark(fd, bypassMark_);
    if (!error && ::bind(fd, from.raw(), from.length()) != 0) error = sockopt::lastError();
    if (error) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int ReplySockets::socketFor(const SocketAddress& from, std::error_code& error) {
    const AddressKey key(from);
    if (const auto found = sockets_.find(key); found != sockets_.end()) {
        order_.splice(order_.begin(), order_, found->second);
        return found->second->second;
    }
    const int fd = open(from, error);
    if (fd < 0) return -1;
    if (order_.size() >= kLimit) {
        ::close(order_.back().second);
        sockets_.erase(order_.back().first);
        order_.pop_back();
    }
    order_.emplace_front(key, fd);
    sockets_.emplace(key, order_.begin());
    return fd;
}

std::error_code ReplySockets::send(const SocketAddress& from, const SocketAddress& to,
                                   std::span<const std::uint8_t> payload) {
    if (from.family() != to.family()) return std::make_error_code(std::errc::address_family_not_supported);
    std::lock_guard guard(lock_);
    std::error_code error;
    const int fd = socketFor(from, error);
    if (fd < 0) return error;
    if (::sendto(fd, payload.data(), payload.size(), MSG_NOSIGNAL, to.raw(), to.length()) < 0)
        return sockopt::lastError();
    return {};
}

}  // namespace corvane::platform
