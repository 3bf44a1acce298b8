#include "HelperModes.hpp"

#include "platform/linux/SocketAddress.hpp"

#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace corvane::platform::testing {

namespace {

int boundSocket(const SocketAddress& address, int type) {
    const int fd = ::socket(address.family(), type | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    if (address.family() == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof(one));
    if (::bind(fd, address.raw(), address.length()) != 0) {
        std::perror("bind");
        std::exit(1);
    }
    return fd;
}

void echoConnection(int fd, SocketAddress peer) {
    const std::string greeting = "peer " + peer.unmapped().hostText() + "\n";
    ::send(fd, greeting.data(), greeting.size(), MSG_NOSIGNAL);
    char buffer[65536];
    ssize_t n = 0;
    while ((n = ::recv(fd, buffer, sizeof(buffer), 0)) > 0) ::send(fd, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL);
    ::close(fd);
}

void tcpServer(int listener) {
    while (true) {
        SocketAddress peer;
        socklen_t length = sizeof(peer.storage);
        const int fd = ::accept4(listener, peer.raw(), &length, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::thread(echoConnection, fd, peer).detach();
    }
}

void udpServer(int fd) {
    char buffer[65536];
    while (true) {
        SocketAddress peer;
        socklen_t length = sizeof(peer.storage);
        const ssize_t n = ::recvfrom(fd, buffer, sizeof(buffer), 0, peer.raw(), &length);
        if (n >= 0) ::sendto(fd, buffer, static_cast<std::size_t>(n), 0, peer.raw(), length);
    }
}

}  // namespace

int serve(int argc, char** argv) {
    std::vector<std::thread> servers;
    for (int i = 0; i < argc; ++i) {
        for (const std::uint16_t port : {7, 8, 9}) {
            const int listener = boundSocket(*SocketAddress::fromText(argv[i], port), SOCK_STREAM);
            ::listen(listener, 64);
            servers.emplace_back(tcpServer, listener);
        }
        for (const std::uint16_t port : {7, 53})
            servers.emplace_back(udpServer, boundSocket(*SocketAddress::fromText(argv[i], port), SOCK_DGRAM));
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (auto& server : servers) server.join();
    return 0;
}

}  // namespace corvane::platform::testing
