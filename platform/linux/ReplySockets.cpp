#include "ReplySockets.hpp"

#include "SocketOptions.hpp"

#include <unistd.h>

namespace corvane::platform {

int ReplySockets::socketFor(const SocketAddress& from, std::error_code& error) {
    for (const auto& [address, fd] : sockets_)
        if (address == from) return fd;
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
    if (sockets_.size() >= kLimit) {
        ::close(sockets_.front().second);
        sockets_.pop_front();
    }
    sockets_.emplace_back(from, fd);
    return fd;
}

std::error_code ReplySockets::send(const SocketAddress& from, const SocketAddress& to,
                                   std::span<const std::uint8_t> payload) {
    if (from.family() != to.family()) return std::make_error_code(std::errc::address_family_not_supported);
    std::error_code error;
    const int fd = socketFor(from, error);
    if (fd < 0) return error;
    if (::sendto(fd, payload.data(), payload.size(), MSG_NOSIGNAL, to.raw(), to.length()) < 0)
        return sockopt::lastError();
    return {};
}

void ReplySockets::closeAll() {
    for (const auto& [address, fd] : sockets_) ::close(fd);
    sockets_.clear();
}

}  // namespace corvane::platform
