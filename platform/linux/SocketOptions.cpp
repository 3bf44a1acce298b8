#include "SocketOptions.hpp"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

namespace corvane::platform::sockopt {

namespace {

int one = 1;

}  // namespace

std::error_code lastError() { return std::error_code(errno, std::generic_category()); }

std::error_code setMark(int fd, std::uint32_t mark) {
    if (::setsockopt(fd, SOL_SOCKET, SO_MARK, &mark, sizeof(mark)) != 0) return lastError();
    return {};
}

std::error_code setReusePort(int fd) {
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof(one)) != 0) return lastError();
    return {};
}

std::error_code setTransparent(int fd, int family) {
    const int result = family == AF_INET6 ? ::setsockopt(fd, SOL_IPV6, IPV6_TRANSPARENT, &one, sizeof(one))
                                          : ::setsockopt(fd, SOL_IP, IP_TRANSPARENT, &one, sizeof(one));
    return result == 0 ? std::error_code() : lastError();
}

std::error_code receiveOriginalDestination(int fd, int family) {
    const int result = family == AF_INET6 ? ::setsockopt(fd, SOL_IPV6, IPV6_RECVORIGDSTADDR, &one, sizeof(one))
                                          : ::setsockopt(fd, SOL_IP, IP_RECVORIGDSTADDR, &one, sizeof(one));
    return result == 0 ? std::error_code() : lastError();
}

void setResetOnClose(int fd) {
    linger immediate{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &immediate, sizeof(immediate));
}

}  // namespace corvane::platform::sockopt
