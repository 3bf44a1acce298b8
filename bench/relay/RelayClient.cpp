// corvane-relay-client [--socks PROXY:PORT] TARGET:PORT MODE ARGUMENT [WORKERS]
//   upload MIB          send MIB MiB to the target's sink; prints MiB/s
//   download MIB        receive MIB MiB from the target; prints MiB/s
//   connect COUNT [W]   COUNT short connections on W threads (ping, close); prints connections/s
//   idle COUNT [W]      opens COUNT idle connections, prints "ready COUNT", holds them until killed
//   churn STEP [W]      short connections as in connect, from this one process for as long as
//                       it runs: after every STEP it prints "done N" (N in all) and goes on once
//                       a line arrives on its standard input; it ends with that input
// With --socks every connection goes through that SOCKS5 proxy (no authentication);
// without it the client connects to the target itself (a transparent redirect may
// carry it). Every mode stops by itself after a bounded time except a held idle set
// and a churn, which stops with its input.
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "RelayWire.hpp"
#include "Socket.hpp"

namespace {

using namespace corvane::bench;
using Clock = std::chrono::steady_clock;

constexpr auto kTimeLimit = std::chrono::seconds(60);

struct Options {
    std::optional<Address> proxy;
    Address target;
    std::string mode;
    std::uint64_t amount = 0;
    unsigned workers = 8;
};

// A connection to the target, through the proxy when one is given; -1 on failure.
int open(const Options& options) {
    const int fd = connectTo(options.proxy ? *options.proxy : options.target);
    if (fd < 0) return fd;
    // A stalled relay fails the run instead of hanging it.
    const timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (!options.proxy || socksConnect(fd, options.target)) return fd;
    ::close(fd);
    return -1;
}

double seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

int upload(const Options& options) {
    const int fd = open(options);
    if (fd < 0) return std::perror("connect"), 1;
    const std::uint64_t total = options.amount << 20;
    const std::vector<unsigned char> chunk(kChunkSize, 0xA5);
    unsigned char request[9] = {static_cast<unsigned char>(kUpload)};
    putCount(total, request + 1);
    const auto start = Clock::now();
    bool ok = writeAll(fd, request, sizeof request);
    for (std::uint64_t sent = 0; ok && sent < total; sent += chunk.size()) ok = writeAll(fd, chunk.data(), chunk.size());
    unsigned char count[8];
    ok = ok && readExactly(fd, count, sizeof count) && getCount(count) == total;
    const double elapsed = seconds(start);
    ::close(fd);
    if (!ok) return std::fprintf(stderr, "upload: the target did not confirm %llu bytes\n",
                                 static_cast<unsigned long long>(total)), 1;
    std::printf("%.1f\n", static_cast<double>(options.amount) / elapsed);
    return 0;
}

int download(const Options& options) {
    const int fd = open(options);
    if (fd < 0) return std::perror("connect"), 1;
    const std::uint64_t total = options.amount << 20;
    unsigned char request[9] = {static_cast<unsigned char>(kDownload)};
    putCount(total, request + 1);
    std::vector<unsigned char> buffer(kChunkSize);
    const auto start = Clock::now();
    std::uint64_t received = 0;
    if (writeAll(fd, request, sizeof request)) {
        ssize_t got = 0;
        while ((got = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0) received += static_cast<std::uint64_t>(got);
    }
    const double elapsed = seconds(start);
    ::close(fd);
    if (received != total) return std::fprintf(stderr, "download: received %llu of %llu bytes\n",
                                               static_cast<unsigned long long>(received),
                                               static_cast<unsigned long long>(total)), 1;
    std::printf("%.1f\n", static_cast<double>(options.amount) / elapsed);
    return 0;
}

bool pingOnce(const Options& options) {
    const int fd = open(options);
    if (fd < 0) return false;
    unsigned char message[kPingSize] = {static_cast<unsigned char>(kPing)};
    char end = 0;
    const bool ok = writeAll(fd, message, kPingSize) && readExactly(fd, message, kPingSize) &&
                    ::recv(fd, &end, 1, 0) == 0;
    ::close(fd);
    return ok;
}

int connections(const Options& options) {
    std::atomic<std::uint64_t> next{0}, done{0}, failed{0};
    const auto start = Clock::now();
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < options.workers; ++i) {
        workers.emplace_back([&] {
            while (next++ < options.amount && Clock::now() - start < kTimeLimit) ++(pingOnce(options) ? done : failed);
        });
    }
    for (auto& worker : workers) worker.join();
    const double elapsed = seconds(start);
    if (failed > 0 || done == 0) return std::fprintf(stderr, "connect: %llu of %llu connections failed\n",
                                                     static_cast<unsigned long long>(failed.load()),
                                                     static_cast<unsigned long long>(done + failed)), 1;
    std::printf("%.0f\n", static_cast<double>(done) / elapsed);
    return 0;
}

// A program that keeps opening short connections, as a browser or a mail client
// does: the daemon looks every one of them up in the same running process.
int churn(const Options& options) {
    std::uint64_t done = 0;
    std::string line;
    do {
        std::atomic<std::uint64_t> next{0}, failed{0};
        std::vector<std::thread> workers;
        for (unsigned i = 0; i < options.workers; ++i) {
            workers.emplace_back([&] {
                while (next++ < options.amount) failed += pingOnce(options) ? 0 : 1;
            });
        }
        for (auto& worker : workers) worker.join();
        if (failed > 0) return std::fprintf(stderr, "churn: %llu of %llu connections failed\n",
                                            static_cast<unsigned long long>(failed.load()),
                                            static_cast<unsigned long long>(options.amount)), 1;
        done += options.amount;
        std::printf("done %llu\n", static_cast<unsigned long long>(done));
        std::fflush(stdout);
    } while (std::getline(std::cin, line));
    return 0;
}

// Opens one idle connection and waits (bounded) for the target's answer, so the
// relay is known to be set up end to end.
int openIdle(const Options& options) {
    const int fd = open(options);
    if (fd < 0) return -1;
    char ack = 0;
    pollfd ready{fd, POLLIN, 0};
    if (!writeAll(fd, &kIdle, 1) || ::poll(&ready, 1, 10000) != 1 || !readExactly(fd, &ack, 1) || ack != kIdle) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int idle(const Options& options) {
    std::vector<int> held(options.amount, -1);
    std::atomic<std::uint64_t> next{0}, failed{0};
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < options.workers; ++i) {
        workers.emplace_back([&] {
            for (std::uint64_t index; (index = next++) < options.amount;)
                if ((held[index] = openIdle(options)) < 0) ++failed;
        });
    }
    for (auto& worker : workers) worker.join();
    if (failed > 0) return std::fprintf(stderr, "idle: %llu of %llu connections failed: %s\n",
                                        static_cast<unsigned long long>(failed.load()),
                                        static_cast<unsigned long long>(options.amount), std::strerror(errno)), 1;
    std::printf("ready %llu\n", static_cast<unsigned long long>(options.amount));
    std::fflush(stdout);
    for (;;) ::pause();
}

int usage() {
    std::fprintf(stderr, "usage: corvane-relay-client [--socks PROXY:PORT] TARGET:PORT "
                         "upload|download MIB | connect|idle COUNT [WORKERS] | churn STEP [WORKERS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    if (args.size() >= 2 && args[0] == "--socks") {
        options.proxy = parseAddress(args[1]);
        if (!options.proxy) return usage();
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() < 3 || args.size() > 4) return usage();
    const auto target = parseAddress(args[0]);
    if (!target) return usage();
    options.target = *target;
    options.mode = args[1];
    try {
        options.amount = std::stoull(args[2]);
        if (args.size() == 4) options.workers = static_cast<unsigned>(std::stoul(args[3]));
    } catch (const std::exception&) {
        return usage();
    }
    if (options.amount == 0 || options.workers == 0) return usage();
    if (options.mode == "upload") return upload(options);
    if (options.mode == "download") return download(options);
    if (options.mode == "connect") return connections(options);
    if (options.mode == "idle") return idle(options);
    if (options.mode == "churn") return churn(options);
    return usage();
}
