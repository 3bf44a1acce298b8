#include "HelperModes.hpp"

#include "platform/linux/SocketAddress.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <vector>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane::platform::testing {

namespace {

constexpr int kTimeoutMs = 2000;

std::string errnoName(int error) {
    if (error == 0) return "";
    const char* name = ::strerrorname_np(error);
    return name ? name : std::to_string(error);
}

int pendingError(int fd, int fallback) {
    int pending = 0;
    socklen_t length = sizeof(pending);
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length);
    return pending != 0 ? pending : fallback;
}

bool waitFor(int fd, short events) {
    pollfd entry{fd, events, 0};
    return ::poll(&entry, 1, kTimeoutMs) == 1;
}

int tcp(const SocketAddress& target, const std::string& payload) {
    nlohmann::json result;
    const int fd = ::socket(target.family(), SOCK_STREAM | SOCK_CLOEXEC, 0);
    result["connected"] = ::connect(fd, target.raw(), target.length()) == 0;
    int error = result["connected"] ? 0 : errno;
    std::string received;
    if (error == 0) {
        // A reset that arrives this early is reported once, by whichever call
        // comes first; shutdown only says ENOTCONN and leaves it pending.
        if (::send(fd, payload.data(), payload.size(), MSG_NOSIGNAL) < 0) error = errno;
        else if (::shutdown(fd, SHUT_WR) < 0) error = pendingError(fd, errno);
        char buffer[4096];
        while (error == 0 && waitFor(fd, POLLIN)) {
            const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
            if (n < 0) error = errno;
            if (n <= 0) break;
            received.append(buffer, static_cast<std::size_t>(n));
        }
    }
    result["errno"] = errnoName(error);
    result["received"] = received;
    std::printf("%s\n", result.dump().c_str());
    ::close(fd);
    return 0;
}

int udpSocket(const SocketAddress& target) {
    const int fd = ::socket(target.family(), SOCK_DGRAM | SOCK_CLOEXEC, 0);
    auto any = *SocketAddress::fromText(target.family() == AF_INET6 ? "::" : "0.0.0.0", 0);
    ::bind(fd, any.raw(), any.length());
    return fd;
}

int udp(const SocketAddress& target, const std::string& payload, int rounds) {
    nlohmann::json result;
    const int fd = udpSocket(target);
    SocketAddress local;
    socklen_t length = sizeof(local.storage);
    ::getsockname(fd, local.raw(), &length);
    result["localPort"] = local.port();
    result["replies"] = nlohmann::json::array();
    for (int round = 0; round < rounds; ++round) {
        ::sendto(fd, payload.data(), payload.size(), 0, target.raw(), target.length());
        if (!waitFor(fd, POLLIN)) break;
        char buffer[65536];
        SocketAddress from;
        socklen_t fromLength = sizeof(from.storage);
        const ssize_t n = ::recvfrom(fd, buffer, sizeof(buffer), 0, from.raw(), &fromLength);
        if (n < 0) break;
        result["replies"].push_back({{"payload", std::string(buffer, static_cast<std::size_t>(n))},
                                     {"from", from.hostText() + " " + std::to_string(from.port())}});
    }
    std::printf("%s\n", result.dump().c_str());
    std::fflush(stdout);
    ::close(fd);
    return 0;
}

void send(int fd, const SocketAddress& target, const std::string& payload) {
    ::sendto(fd, payload.data(), payload.size(), 0, target.raw(), target.length());
}

int udpFire(const SocketAddress& target, const std::string& payload, int count) {
    const int fd = udpSocket(target);
    for (int i = 0; i < count; ++i) send(fd, target, i == 0 ? payload : payload + "-" + std::to_string(i));
    ::close(fd);
    std::printf("%s\n", nlohmann::json{{"sent", count}}.dump().c_str());
    return 0;
}

// Answers to the socket: counted until none has come for a while.
int countAnswers(int fd) {
    int answers = 0;
    char buffer[256];
    while (waitFor(fd, POLLIN) && ::recv(fd, buffer, sizeof(buffer), 0) >= 0) ++answers;
    return answers;
}

int udpStorm(const SocketAddress& target, int sources) {
    const rlimit unlimited{static_cast<rlim_t>(sources) + 64, static_cast<rlim_t>(sources) + 64};
    ::setrlimit(RLIMIT_NOFILE, &unlimited);
    const int existing = udpSocket(target);
    // Room for every answer while the storm is sent.
    const int room = 4 << 20;
    ::setsockopt(existing, SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof(room));
    send(existing, target, "first");
    char answer[256];
    nlohmann::json result = {{"established", waitFor(existing, POLLIN) && ::recv(existing, answer, sizeof(answer), 0) > 0}};
    std::vector<int> storm;
    int sent = 0;
    for (int i = 0; i < sources; ++i) {
        storm.push_back(udpSocket(target));
        send(storm.back(), target, "storm");
        if (i % 10 == 0) send(existing, target, "existing-" + std::to_string(sent++));
    }
    result["sent"] = sent;
    result["answered"] = countAnswers(existing);
    std::printf("%s\n", result.dump().c_str());
    std::fflush(stdout);
    for (const int fd : storm) ::close(fd);
    ::close(existing);
    return 0;
}

}  // namespace

int probe(int argc, char** argv) {
    if (argc < 4) return 2;
    const std::string kind = argv[0];
    const auto port = static_cast<std::uint16_t>(std::stoi(argv[2]));
    const auto target = SocketAddress::fromText(argv[1], port);
    if (!target) return 2;
    if (kind == "udp-fire" && argc >= 5) return udpFire(*target, argv[3], std::stoi(argv[4]));
    if (kind == "udp-storm") return udpStorm(*target, std::stoi(argv[3]));
    const int rounds = argc >= 5 && std::string(argv[4]) == "twice" ? 2 : 1;
    return kind == "tcp" ? tcp(*target, argv[3]) : udp(*target, argv[3], rounds);
}

}  // namespace corvane::platform::testing
