#pragma once

#include "SocketAddress.hpp"

#include <cstdint>
#include <system_error>

namespace corvane::platform::sockopt {

// SO_MARK, so that the diversion's chains skip the socket.
std::error_code setMark(int fd, std::uint32_t mark);
// SO_REUSEPORT: several sockets share one port; the kernel spreads the load.
std::error_code setReusePort(int fd);
// IP_TRANSPARENT / IPV6_TRANSPARENT: bind to addresses that are not local.
std::error_code setTransparent(int fd, int family);
// IP_RECVORIGDSTADDR / IPV6_RECVORIGDSTADDR on a TPROXY socket.
std::error_code receiveOriginalDestination(int fd, int family);
// Arms an abortive close: the next close sends a reset.
void setResetOnClose(int fd);

std::error_code lastError();

}  // namespace corvane::platform::sockopt
