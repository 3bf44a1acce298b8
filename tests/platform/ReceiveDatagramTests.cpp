#include "platform/ReceiveDatagram.hpp"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane::platform {
namespace {

// Each datagram comes in a buffer of its own size, an empty one as an empty
// datagram, and an empty queue as "try again".
TEST(ReceiveDatagram, TakesEachDatagramAtItsOwnSize) {
    const int receiver = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(::bind(receiver, reinterpret_cast<sockaddr*>(&address), length), 0);
    ::getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length);
    const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const Bytes large(3000, 7);
    for (const auto& payload : {Bytes{1, 2, 3}, Bytes{}, large})
        ::sendto(sender, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&address), length);

    Error error;
    const auto first = receiveDatagram(receiver, error);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, (Bytes{1, 2, 3}));
    EXPECT_EQ(first->capacity(), 3U);
    const auto empty = receiveDatagram(receiver, error);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    EXPECT_EQ(receiveDatagram(receiver, error), large);
    EXPECT_FALSE(error);
    EXPECT_FALSE(receiveDatagram(receiver, error));
    EXPECT_EQ(error, std::errc::resource_unavailable_try_again);
    ::close(sender);
    ::close(receiver);
}

}  // namespace
}  // namespace corvane::platform
