#include "platform/ReceiveDatagram.hpp"

#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstdint>

namespace corvane::platform {

std::optional<Bytes> receiveDatagram(int socket, Error& error) {
    // One receive area per thread, copied out at the datagram's size.
    static thread_local std::array<std::uint8_t, kMaximumDatagramSize> scratch;
    ssize_t size = -1;
    do {
        size = ::recv(socket, scratch.data(), scratch.size(), MSG_DONTWAIT);
    } while (size < 0 && errno == EINTR);
    if (size < 0) {
        error = Error(errno, std::system_category());
        return std::nullopt;
    }
    error.clear();
    return Bytes(scratch.begin(), scratch.begin() + size);
}

}  // namespace corvane::platform
