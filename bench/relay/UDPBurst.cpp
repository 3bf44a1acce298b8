// corvane-udp-burst TARGET:PORT COUNT [TIMEOUT_MS]
// Sends COUNT DNS-like queries one after another, each from a new socket (as
// resolvers and browsers do), waits for each answer up to TIMEOUT_MS (1000) and
// closes the socket. Prints one line: queries/s, p50 and p99 of the time from the
// send to the answer in milliseconds, and the number of queries lost (no answer,
// or a wrong one).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Socket.hpp"

namespace {

using namespace corvane::bench;
using Clock = std::chrono::steady_clock;

// A standard query for "qNNNNN.bench.test" A, id = the query's number.
std::vector<unsigned char> query(std::uint32_t number) {
    std::vector<unsigned char> message = {static_cast<unsigned char>(number >> 8), static_cast<unsigned char>(number),
                                          0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
    char label[16];
    const int length = std::snprintf(label, sizeof label, "q%06u", number % 1000000);
    message.push_back(static_cast<unsigned char>(length));
    message.insert(message.end(), label, label + length);
    for (const char* part : {"bench", "test"}) {
        message.push_back(static_cast<unsigned char>(std::strlen(part)));
        message.insert(message.end(), part, part + std::strlen(part));
    }
    message.insert(message.end(), {0, 0, 1, 0, 1});
    return message;
}

// The time from the send to the matching answer; none when it was lost.
std::optional<double> ask(const sockaddr_in& target, std::uint32_t number, int timeoutMs) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    const auto message = query(number);
    std::array<unsigned char, 512> answer{};
    std::optional<double> elapsed;
    const auto start = Clock::now();
    if (::sendto(fd, message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target) ==
        static_cast<ssize_t>(message.size())) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, timeoutMs) == 1) {
            const ssize_t got = ::recv(fd, answer.data(), answer.size(), 0);
            if (got == static_cast<ssize_t>(message.size()) && std::equal(message.begin(), message.end(), answer.begin()))
                elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
    }
    ::close(fd);
    return elapsed;
}

double percentile(std::vector<double>& values, double fraction) {
    if (values.empty()) return 0;
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index), values.end());
    return values[index];
}

int usage() {
    std::fprintf(stderr, "usage: corvane-udp-burst TARGET:PORT COUNT [TIMEOUT_MS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) return usage();
    const auto target = parseAddress(argv[1]);
    unsigned long count = 0;
    int timeoutMs = 1000;
    try {
        count = std::stoul(argv[2]);
        if (argc == 4) timeoutMs = std::stoi(argv[3]);
    } catch (const std::exception&) {
        return usage();
    }
    if (!target || count == 0 || timeoutMs <= 0) return usage();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(target->port);
    ::inet_pton(AF_INET, target->host.c_str(), &address.sin_addr);

    std::vector<double> latencies;
    latencies.reserve(count);
    const auto start = Clock::now();
    for (unsigned long i = 0; i < count; ++i)
        if (const auto elapsed = ask(address, static_cast<std::uint32_t>(i), timeoutMs)) latencies.push_back(*elapsed);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const auto lost = count - latencies.size();
    const double p50 = percentile(latencies, 0.50);
    const double p99 = percentile(latencies, 0.99);
    std::printf("%.0f %.3f %.3f %lu\n", static_cast<double>(count) / seconds, p50, p99, lost);
    return 0;
}
