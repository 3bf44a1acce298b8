#include "Socket.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace corvane::bench {
namespace {

std::optional<sockaddr_in> socketAddress(const Address& address) {
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_port = htons(address.port);
    if (::inet_pton(AF_INET, address.host.c_str(), &out.sin_addr) != 1) return std::nullopt;
    return out;
}

}  // namespace

std::optional<Address> parseAddress(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    Address address{text.substr(0, colon), 0};
    try {
        const int port = std::stoi(text.substr(colon + 1));
        if (port <= 0 || port > 65535) return std::nullopt;
        address.port = static_cast<std::uint16_t>(port);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!socketAddress(address)) return std::nullopt;
    return address;
}

int connectTo(const Address& address) {
    const auto target = socketAddress(address);
    if (!target) {
        errno = EINVAL;
        return -1;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&*target), sizeof *target) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

bool socksConnect(int fd, const Address& target) {
    const unsigned char greeting[] = {5, 1, 0};
    std::array<unsigned char, 4> reply{};
    if (!writeAll(fd, greeting, sizeof greeting) || !readExactly(fd, reply.data(), 2)) return false;
    if (reply[0] != 5 || reply[1] != 0) return false;
    const auto address = socketAddress(target);
    std::array<unsigned char, 10> request{5, 1, 0, 1};
    std::copy_n(reinterpret_cast<const unsigned char*>(&address->sin_addr), 4, request.begin() + 4);
    std::copy_n(reinterpret_cast<const unsigned char*>(&address->sin_port), 2, request.begin() + 8);
    if (!writeAll(fd, request.data(), request.size()) || !readExactly(fd, reply.data(), 4)) return false;
    if (reply[1] != 0) return false;
    std::array<unsigned char, 258> bound{};
    std::size_t rest = 0;
    if (reply[3] == 1) rest = 4 + 2;
    else if (reply[3] == 4) rest = 16 + 2;
    else if (reply[3] == 3 && readExactly(fd, bound.data(), 1)) rest = bound[0] + 2u;
    else return false;
    return readExactly(fd, bound.data(), rest);
}

int listenOn(const Address& address) {
    const auto local = socketAddress(address);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (!local || fd < 0) return -1;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&*local), sizeof *local) != 0 || ::listen(fd, 4096) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int bindDatagram(const Address& address) {
    const auto local = socketAddress(address);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (!local || fd < 0) return -1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&*local), sizeof *local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t sent = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool readExactly(int fd, void* data, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(data);
    while (size > 0) {
        const ssize_t got = ::recv(fd, bytes, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace corvane::bench
