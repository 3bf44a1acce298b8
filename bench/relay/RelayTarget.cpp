// corvane-relay-target [--udp] ADDRESS:PORT
// The far end of the relay benchmark: serves each connection on a thread of its own
// (small stacks, so ten thousand idle connections stay cheap) per RelayWire.hpp.
// With --udp it echoes every datagram to its sender instead (the query burst).
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>
#include <vector>

#include "RelayWire.hpp"
#include "Socket.hpp"

namespace {

using namespace corvane::bench;

void upload(int fd) {
    unsigned char count[8];
    if (!readExactly(fd, count, sizeof count)) return;
    std::uint64_t left = getCount(count);
    std::vector<unsigned char> buffer(kChunkSize);
    ssize_t got = 0;
    while (left > 0 && (got = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0) left -= static_cast<std::uint64_t>(got);
    if (left == 0) writeAll(fd, count, sizeof count);
}

void download(int fd) {
    unsigned char count[8];
    if (!readExactly(fd, count, sizeof count)) return;
    std::uint64_t left = getCount(count);
    const std::vector<unsigned char> buffer(kChunkSize, 0x5A);
    while (left > 0) {
        const std::size_t size = left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
        if (!writeAll(fd, buffer.data(), size)) return;
        left -= size;
    }
}

void ping(int fd) {
    unsigned char message[kPingSize] = {};
    if (readExactly(fd, message, kPingSize - 1)) writeAll(fd, message, kPingSize);
}

void idle(int fd) {
    const char ack = kIdle;
    if (!writeAll(fd, &ack, 1)) return;
    char rest[64];
    while (::recv(fd, rest, sizeof rest, 0) > 0) {
    }
}

void* serve(void* argument) {
    const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(argument));
    char command = 0;
    if (readExactly(fd, &command, 1)) {
        if (command == kUpload) upload(fd);
        else if (command == kDownload) download(fd);
        else if (command == kPing) ping(fd);
        else if (command == kIdle) idle(fd);
    }
    ::close(fd);
    return nullptr;
}

int echoDatagrams(const Address& address) {
    const int fd = bindDatagram(address);
    if (fd < 0) return std::perror("bind"), 1;
    std::vector<unsigned char> buffer(65536);
    for (;;) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const ssize_t got = ::recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&peer), &length);
        if (got >= 0) ::sendto(fd, buffer.data(), static_cast<std::size_t>(got), 0, reinterpret_cast<sockaddr*>(&peer), length);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool udp = argc == 3 && std::string_view(argv[1]) == "--udp";
    const auto address = argc == 2 || udp ? parseAddress(argv[argc - 1]) : std::nullopt;
    if (!address) {
        std::fprintf(stderr, "usage: corvane-relay-target [--udp] ADDRESS:PORT\n");
        return 2;
    }
    if (udp) return echoDatagrams(*address);
    const int listener = listenOn(*address);
    if (listener < 0) {
        std::perror("listen");
        return 1;
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 64 * 1024);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        pthread_t thread;
        if (pthread_create(&thread, &attributes, serve, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd))) != 0)
            ::close(fd);
    }
}
