#include "platform/linux/UDPSocketWatch.hpp"

#include <asio/io_context.hpp>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <set>

namespace corvane::platform {
namespace {

std::uint64_t cookieOf(int fd) {
    std::uint64_t cookie = 0;
    socklen_t length = sizeof(cookie);
    ::getsockopt(fd, SOL_SOCKET, SO_COOKIE, &cookie, &length);
    return cookie;
}

// Closing a UDP socket of either family is reported by the socket's cookie.
TEST(UDPSocketWatch, ReportsAClosedSocketByItsCookie) {
    asio::io_context io;
    auto watch = std::make_shared<UDPSocketWatch>(io.get_executor());
    if (!watch->open()) GTEST_SKIP() << "the kernel's socket reports need CAP_NET_ADMIN";
    std::set<std::uint64_t> reported;
    watch->start([&](std::uint64_t cookie) { reported.insert(cookie); }, [] {});
    std::set<std::uint64_t> closed;
    for (const int family : {AF_INET, AF_INET6}) {
        const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        closed.insert(cookieOf(fd));
        ::close(fd);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    const auto allReported = [&] {
        for (const auto cookie : closed)
            if (!reported.contains(cookie)) return false;
        return true;
    };
    while (!allReported() && std::chrono::steady_clock::now() < deadline) io.run_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(allReported());
    watch->close();
    io.run();
}

}  // namespace
}  // namespace corvane::platform
