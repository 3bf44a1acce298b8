// The servers and probes of the daemon's end-to-end tests, one program with modes:
//   tcp-echo PORT             greets with "peer=<address>\n", then echoes (IPv4 and IPv6)
//   banner PORT               sends 64 binary bytes at once, then waits for the client to close
//   udp-echo ADDRESS PORT     echoes datagrams, bound exactly to ADDRESS
//   tcp-probe HOST PORT N [MS] connects, sends N bytes, half-closes (MS milliseconds later: some
//                             proxies drop the answer of a half-closed client), reads to the end;
//                             prints JSON
//   tcp-echo-probe HOST PORT N  tcp-probe that half-closes once the echo server's greeting line
//                             and the N bytes echoed came (20 s at most), however slow they are
//   udp-probe HOST PORT N     sends N datagrams and collects the replies; prints JSON
//   tcp-burst HOST PORT FLOWS N  runs FLOWS tcp-probes at once, each with N random bytes, and checks
//                             each echo (after the greeting) against a checksum of what it sent;
//                             prints JSON
//   tcp-stream HOST PORT MS   connects, sends for MS milliseconds or until the connection fails
//                             while reading the echo, half-closes, reads to the end; prints JSON
//   silent PORT               accepts connections (IPv4) and never reads or answers
//   dns ADDRESS PORT          answers every A query with 198.18.0.10 (TTL 300)
//   resolve-probe SERVER NAME PORT  asks SERVER:53 for NAME, then runs tcp-probe on the answer
//   tcp-many HOST PORT N      makes N connections one after another from ports the kernel
//                             chooses; prints JSON with how many heard anything from the far end
//   tcp-from LOCALPORT HOST PORT  connects from LOCALPORT; prints JSON with whether it heard
//                             anything from the far end
//   tcp-reuse HOST1 HOST2 PORT N  N times: connects to HOST1 from a new port, closes, then
//                             connects to HOST2 from that same port; prints JSON with how many
//                             of the 2N connections heard anything from the far end
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string errnoName(int error) {
    const char* name = strerrorname_np(error);
    return name ? name : std::to_string(error);
}

std::string addressText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof text);
    } else {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text, sizeof text);
    }
    return text;
}

std::uint16_t portOf(const sockaddr_storage& address) {
    return ntohs(address.ss_family == AF_INET ? reinterpret_cast<const sockaddr_in&>(address).sin_port
                                              : reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
}

bool resolve(const char* host, const char* port, int type, sockaddr_storage& out, socklen_t& length) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    hints.ai_socktype = type;
    addrinfo* result = nullptr;
    if (getaddrinfo(host, port, &hints, &result) != 0) return false;
    std::memcpy(&out, result->ai_addr, result->ai_addrlen);
    length = result->ai_addrlen;
    freeaddrinfo(result);
    return true;
}

int listener(int family, std::uint16_t port) {
    const int fd = socket(family, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (family == AF_INET) {
        auto& v4 = reinterpret_cast<sockaddr_in&>(address);
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        length = sizeof v4;
    } else {
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        length = sizeof v6;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 64) != 0) {
        std::perror("listen");
        std::exit(1);
    }
    return fd;
}

void sendAll(int fd, const void* data, std::size_t length) {
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t sent = send(fd, bytes, length, MSG_NOSIGNAL);
        if (sent <= 0) return;
        bytes += sent;
        length -= static_cast<std::size_t>(sent);
    }
}

void serveEcho(int client, sockaddr_storage peer) {
    const std::string greeting = "peer=" + addressText(peer) + "\n";
    sendAll(client, greeting.data(), greeting.size());
    char buffer[16384];
    ssize_t got = 0;
    while ((got = recv(client, buffer, sizeof buffer, 0)) > 0) sendAll(client, buffer, static_cast<std::size_t>(got));
    shutdown(client, SHUT_WR);
    close(client);
}

void serveBanner(int client, sockaddr_storage) {
    unsigned char banner[64];
    for (int i = 0; i < 64; ++i) banner[i] = static_cast<unsigned char>(0xFF - i);
    sendAll(client, banner, sizeof banner);
    char buffer[1024];
    while (recv(client, buffer, sizeof buffer, 0) > 0) {
    }
    close(client);
}

[[noreturn]] void serve(std::uint16_t port, void (*handler)(int, sockaddr_storage)) {
    for (int family : {AF_INET, AF_INET6}) {
        const int fd = listener(family, port);
        std::thread([fd, handler] {
            for (;;) {
                sockaddr_storage peer{};
                socklen_t length = sizeof peer;
                const int client = accept(fd, reinterpret_cast<sockaddr*>(&peer), &length);
                if (client >= 0) std::thread(handler, client, peer).detach();
            }
        }).detach();
    }
    for (;;) pause();
}

// A UDP socket bound exactly to HOST:PORT; the server exits when it cannot have it.
int boundDatagramSocket(const char* host, const char* port) {
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!resolve(host, port, SOCK_DGRAM, address, length)) std::exit(1);
    const int fd = socket(address.ss_family, SOCK_DGRAM, 0);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        std::perror("bind");
        std::exit(1);
    }
    return fd;
}

[[noreturn]] void udpEcho(const char* host, const char* port) {
    const int fd = boundDatagramSocket(host, port);
    char buffer[65536];
    for (;;) {
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        const ssize_t got = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &peerLength);
        if (got >= 0) sendto(fd, buffer, static_cast<std::size_t>(got), 0, reinterpret_cast<sockaddr*>(&peer), peerLength);
    }
}

// A TCP connection of a probe, with send and receive time-outs.
struct ProbeSocket {
    int fd = -1;  // -1: the name did not resolve
    bool connected = false;
    std::string error = "none";  // why connect failed
};

ProbeSocket openProbe(const char* host, const char* port, int timeoutSeconds) {
    ProbeSocket probe;
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!resolve(host, port, SOCK_STREAM, address, length)) return probe;
    probe.fd = socket(address.ss_family, SOCK_STREAM, 0);
    timeval timeout{timeoutSeconds, 0};
    setsockopt(probe.fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(probe.fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    probe.connected = connect(probe.fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    if (!probe.connected) probe.error = errnoName(errno);
    return probe;
}

// How long a probe's writer waits before it half-closes: `limit`, or less once
// the reading ended or, `untilEchoed`, an echo server's whole answer came.
struct Hold {
    std::chrono::milliseconds limit{0};
    bool untilEchoed = false;
};

// What a probe reads, shared with its writer, which waits on it before it half-closes.
class ProbeReading {
public:
    explicit ProbeReading(std::size_t count) : count_(count) {}

    void add(const char* bytes, std::size_t length) {
        {
            const std::lock_guard held(lock_);
            received_.append(bytes, length);
        }
        changed_.notify_all();
    }
    void end() {
        {
            const std::lock_guard held(lock_);
            ended_ = true;
        }
        changed_.notify_all();
    }
    void wait(const Hold& hold) {
        std::unique_lock held(lock_);
        changed_.wait_for(held, hold.limit, [&] { return ended_ || (hold.untilEchoed && echoed()); });
    }
    // All that was read; once the reading ended.
    const std::string& received() const { return received_; }

private:
    // The greeting line and the `count` bytes after it.
    bool echoed() const {
        const std::size_t newline = received_.find('\n');
        return newline != std::string::npos && received_.size() - newline - 1 >= count_;
    }

    const std::size_t count_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::string received_;
    bool ended_ = false;
};

// The hold of an echo probe: long enough for any load.
const Hold kUntilEchoed{std::chrono::seconds(20), true};

int tcpProbe(const char* host, const char* port, std::size_t count, const Hold& hold) {
    const ProbeSocket probe = openProbe(host, port, 5);
    if (probe.fd < 0) return 2;
    const int fd = probe.fd;
    const bool connected = probe.connected;
    std::string error = probe.error;
    ProbeReading reading(count);
    if (connected) {
        std::thread writer([fd, count, &hold, &reading] {
            const std::string chunk(count, 'x');
            sendAll(fd, chunk.data(), chunk.size());
            reading.wait(hold);
            shutdown(fd, SHUT_WR);
        });
        char buffer[16384];
        for (;;) {
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got > 0) {
                reading.add(buffer, static_cast<std::size_t>(got));
                continue;
            }
            if (got < 0) error = errnoName(errno);
            break;
        }
        reading.end();
        writer.join();
    }
    const std::string& received = reading.received();
    const std::size_t newline = received.find('\n');
    const std::string greeting = newline == std::string::npos ? "" : received.substr(0, newline);
    std::string hex;
    for (std::size_t i = 0; i < std::min<std::size_t>(received.size(), 64); ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(received[i]));
        hex += two;
    }
    std::printf("{\"connected\":%s,\"error\":\"%s\",\"received\":%zu,\"greeting\":\"%s\",\"head\":\"%s\"}\n",
                connected ? "true" : "false", error.c_str(), received.size(), greeting.c_str(), hex.c_str());
    close(fd);
    return 0;
}

// Sends until the deadline or the first failed send; the reader runs meanwhile so
// the echo never stalls the upload.
int tcpStream(const char* host, const char* port, int milliseconds) {
    const ProbeSocket probe = openProbe(host, port, 20);
    if (probe.fd < 0) return 2;
    const int fd = probe.fd;
    if (!probe.connected) {
        std::printf("{\"connected\":false,\"error\":\"%s\"}\n", probe.error.c_str());
        close(fd);
        return 0;
    }
    std::size_t sent = 0;
    std::string sendError = "none";
    std::thread writer([&] {
        const std::string chunk(65536, 'x');
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < deadline) {
            const ssize_t done = send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
            if (done <= 0) {
                sendError = errnoName(errno);
                return;
            }
            sent += static_cast<std::size_t>(done);
        }
        shutdown(fd, SHUT_WR);
    });
    std::size_t received = 0;
    std::string receiveError = "none";
    char buffer[65536];
    for (;;) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            received += static_cast<std::size_t>(got);
            continue;
        }
        if (got < 0) receiveError = errnoName(errno);
        break;
    }
    writer.join();
    std::printf("{\"connected\":true,\"sent\":%zu,\"received\":%zu,\"sendError\":\"%s\","
                "\"receiveError\":\"%s\"}\n",
                sent, received, sendError.c_str(), receiveError.c_str());
    close(fd);
    return 0;
}

std::uint64_t checksum(const std::string& data) {
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : data) hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

// One flow of a burst: true when the echo after the greeting has the checksum and
// length of the random bytes sent.
bool burstFlow(const sockaddr_storage& address, socklen_t length, std::size_t count, unsigned seed) {
    const int fd = socket(address.ss_family, SOCK_STREAM, 0);
    // Longer than the daemon's proxy connect time-out, so a failover can finish.
    timeval timeout{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        close(fd);
        return false;
    }
    std::mt19937 random(seed);
    std::string payload(count, '\0');
    for (char& c : payload) c = static_cast<char>(random());
    std::thread writer([fd, &payload] {
        sendAll(fd, payload.data(), payload.size());
        shutdown(fd, SHUT_WR);
    });
    std::string received;
    char buffer[16384];
    ssize_t got = 0;
    while ((got = recv(fd, buffer, sizeof buffer, 0)) > 0) received.append(buffer, static_cast<std::size_t>(got));
    writer.join();
    close(fd);
    const std::size_t newline = received.find('\n');
    if (newline == std::string::npos || got < 0) return false;
    const std::string echo = received.substr(newline + 1);
    return echo.size() == payload.size() && checksum(echo) == checksum(payload);
}

int tcpBurst(const char* host, const char* port, int flows, std::size_t count) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!resolve(host, port, SOCK_STREAM, address, length)) return 2;
    std::vector<char> verified(static_cast<std::size_t>(flows), 0);
    std::vector<std::thread> threads;
    std::random_device seeds;
    for (int i = 0; i < flows; ++i) {
        const unsigned seed = seeds();
        threads.emplace_back([&, i, seed] { verified[static_cast<std::size_t>(i)] = burstFlow(address, length, count, seed); });
    }
    for (auto& thread : threads) thread.join();
    int good = 0;
    for (char ok : verified) good += ok;
    std::printf("{\"flows\":%d,\"verified\":%d}\n", flows, good);
    return 0;
}

int udpProbe(const char* host, const char* port, int count) {
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!resolve(host, port, SOCK_DGRAM, address, length)) return 2;
    const int fd = socket(address.ss_family, SOCK_DGRAM, 0);
    std::vector<std::string> sources;
    for (int i = 0; i < count; ++i) {
        const std::string payload = "datagram-" + std::to_string(i);
        sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&address), length);
        pollfd waiting{fd, POLLIN, 0};
        if (poll(&waiting, 1, 3000) != 1) continue;
        char buffer[65536];
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got >= 0 && std::string(buffer, static_cast<std::size_t>(got)) == payload) {
            sources.push_back(addressText(from) + ":" + std::to_string(portOf(from)));
        }
    }
    std::printf("{\"replies\":%zu,\"sources\":[", sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) std::printf("%s\"%s\"", i ? "," : "", sources[i].c_str());
    std::printf("]}\n");
    close(fd);
    return 0;
}

[[noreturn]] void dnsServer(const char* host, const char* port) {
    const int fd = boundDatagramSocket(host, port);
    unsigned char query[512];
    for (;;) {
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        const ssize_t got = recvfrom(fd, query, sizeof query, 0, reinterpret_cast<sockaddr*>(&peer), &peerLength);
        if (got < 17) continue;
        // Header with QR, RD, RA and one answer; the question as asked; then the answer.
        std::vector<unsigned char> reply(query, query + got);
        reply[2] = 0x81;
        reply[3] = 0x80;
        reply[6] = 0;
        reply[7] = 1;
        const unsigned char answer[] = {0xC0, 12, 0, 1, 0, 1, 0, 0, 1, 0x2C, 0, 4, 198, 18, 0, 10};
        reply.insert(reply.end(), answer, answer + sizeof answer);
        sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&peer), peerLength);
    }
}

int resolveProbe(const char* server, const std::string& name, const char* port) {
    std::vector<unsigned char> query{0x42, 0x42, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t dot = std::min(name.find('.', start), name.size());
        query.push_back(static_cast<unsigned char>(dot - start));
        query.insert(query.end(), name.begin() + static_cast<long>(start), name.begin() + static_cast<long>(dot));
        start = dot + 1;
    }
    query.insert(query.end(), {0, 0, 1, 0, 1});
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!resolve(server, "53", SOCK_DGRAM, address, length)) return 2;
    const int fd = socket(address.ss_family, SOCK_DGRAM, 0);
    sendto(fd, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&address), length);
    pollfd waiting{fd, POLLIN, 0};
    unsigned char reply[512];
    const ssize_t got = poll(&waiting, 1, 3000) == 1 ? recv(fd, reply, sizeof reply, 0) : -1;
    close(fd);
    if (got < 4) {
        std::printf("{\"error\":\"no answer\"}\n");
        return 1;
    }
    const std::string answer = std::to_string(reply[got - 4]) + "." + std::to_string(reply[got - 3]) + "." +
                               std::to_string(reply[got - 2]) + "." + std::to_string(reply[got - 1]);
    return tcpProbe(answer.c_str(), port, 5, kUntilEchoed);
}

// Connects `fd` to HOST:PORT and reports whether any byte arrives before the
// connection ends or a second passes.
bool reaches(int fd, const char* host, const char* port) {
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!resolve(host, port, SOCK_STREAM, address, length)) std::exit(2);
    timeval timeout{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) return false;
    char byte = 0;
    return recv(fd, &byte, 1, 0) == 1;
}

int tcpMany(const char* host, const char* port, int count) {
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!resolve(host, port, SOCK_STREAM, address, length)) return 2;
    int reached = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = socket(address.ss_family, SOCK_STREAM, 0);
        reached += reaches(fd, host, port);
        close(fd);
    }
    std::printf("{\"flows\":%d,\"reached\":%d}\n", count, reached);
    return 0;
}

// A TCP socket bound to `port` of the wildcard address (0: the kernel chooses).
int boundStreamSocket(int family, std::uint16_t port) {
    const int fd = socket(family, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_storage address{};
    address.ss_family = static_cast<sa_family_t>(family);
    if (family == AF_INET) reinterpret_cast<sockaddr_in&>(address).sin_port = htons(port);
    else reinterpret_cast<sockaddr_in6&>(address).sin6_port = htons(port);
    const socklen_t length = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        std::perror("bind");
        std::exit(1);
    }
    return fd;
}

int tcpFrom(std::uint16_t localPort, const char* host, const char* port) {
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!resolve(host, port, SOCK_STREAM, address, length)) return 2;
    const int fd = boundStreamSocket(address.ss_family, localPort);
    std::printf("{\"reached\":%s}\n", reaches(fd, host, port) ? "true" : "false");
    close(fd);
    return 0;
}

int tcpReuse(const char* first, const char* second, const char* port, int count) {
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!resolve(first, port, SOCK_STREAM, address, length)) return 2;
    int reached = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = boundStreamSocket(address.ss_family, 0);
        sockaddr_storage local{};
        socklen_t localLength = sizeof local;
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength);
        reached += reaches(fd, first, port);
        close(fd);
        const int again = boundStreamSocket(address.ss_family, portOf(local));
        reached += reaches(again, second, port);
        close(again);
    }
    std::printf("{\"flows\":%d,\"reached\":%d}\n", 2 * count, reached);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "tcp-echo" && argc == 3) serve(static_cast<std::uint16_t>(std::stoi(argv[2])), serveEcho);
    if (mode == "banner" && argc == 3) serve(static_cast<std::uint16_t>(std::stoi(argv[2])), serveBanner);
    if (mode == "udp-echo" && argc == 4) udpEcho(argv[2], argv[3]);
    if (mode == "tcp-probe" && (argc == 5 || argc == 6)) {
        return tcpProbe(argv[2], argv[3], std::stoul(argv[4]),
                        Hold{std::chrono::milliseconds(argc == 6 ? std::stoi(argv[5]) : 0)});
    }
    if (mode == "tcp-echo-probe" && argc == 5) return tcpProbe(argv[2], argv[3], std::stoul(argv[4]), kUntilEchoed);
    if (mode == "udp-probe" && argc == 5) return udpProbe(argv[2], argv[3], std::stoi(argv[4]));
    if (mode == "silent" && argc == 3) {
        listener(AF_INET, static_cast<std::uint16_t>(std::stoi(argv[2])));
        for (;;) pause();
    }
    if (mode == "tcp-burst" && argc == 6) return tcpBurst(argv[2], argv[3], std::stoi(argv[4]), std::stoul(argv[5]));
    if (mode == "tcp-stream" && argc == 5) return tcpStream(argv[2], argv[3], std::stoi(argv[4]));
    if (mode == "dns" && argc == 4) dnsServer(argv[2], argv[3]);
    if (mode == "resolve-probe" && argc == 5) return resolveProbe(argv[2], argv[3], argv[4]);
    if (mode == "tcp-many" && argc == 5) return tcpMany(argv[2], argv[3], std::stoi(argv[4]));
    if (mode == "tcp-from" && argc == 5) {
        return tcpFrom(static_cast<std::uint16_t>(std::stoi(argv[2])), argv[3], argv[4]);
    }
    if (mode == "tcp-reuse" && argc == 6) return tcpReuse(argv[2], argv[3], argv[4], std::stoi(argv[5]));
    std::fprintf(stderr, "usage: corvane-e2e-peer MODE ARGS\n");
    return 2;
}
