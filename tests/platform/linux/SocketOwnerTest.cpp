#include "platform/linux/FlowOwnerLookup.hpp"
#include "platform/linux/SocketDiagnostics.hpp"
#include "platform/linux/SocketOwnerIndex.hpp"

#include "ChildProcess.hpp"
#include "platform/testing/CaptureLogSink.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace corvane::platform {
namespace {

struct Socket {
    explicit Socket(int family, int type) : fd(::socket(family, type | SOCK_CLOEXEC, 0)) {}
    Socket(Socket&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
    std::uint64_t inode() const {
        struct stat info {};
        ::fstat(fd, &info);
        return info.st_ino;
    }
    SocketAddress local() const {
        SocketAddress address;
        socklen_t length = sizeof(address.storage);
        ::getsockname(fd, address.raw(), &length);
        return address;
    }
    int fd;
};

SocketAddress loopback(int family) {
    return *SocketAddress::fromText(family == AF_INET6 ? "::1" : "127.0.0.1", 0);
}

// A TCP socket listening on a free loopback port.
Socket listening(int family) {
    Socket listener(family, SOCK_STREAM);
    const auto address = loopback(family);
    if (::bind(listener.fd, address.raw(), address.length()) != 0 || ::listen(listener.fd, 4) != 0) {
        ADD_FAILURE() << "cannot listen on loopback";
    }
    return listener;
}

// Starts `sleep 5` with the socket as its standard input and closes this
// process's copy, so the child holds it alone; -1 when it cannot start.
pid_t handToChild(Socket& socket) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, socket.fd, 0);
    pid_t child = -1;
    char* argv[] = {const_cast<char*>("/bin/sleep"), const_cast<char*>("5"), nullptr};
    if (::posix_spawn(&child, argv[0], &actions, nullptr, argv, environ) != 0) child = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(socket.fd);
    socket.fd = -1;
    return child;
}

TEST(SocketDiagnostics, FindsATcpSocketByBothEnds) {
    for (const int family : {AF_INET, AF_INET6}) {
        const Socket listener = listening(family);
        Socket client(family, SOCK_STREAM);
        const auto server = listener.local();
        ASSERT_EQ(::connect(client.fd, server.raw(), server.length()), 0);
        const auto entry = SocketDiagnostics::tcpSocket(client.local(), server);
        ASSERT_TRUE(entry) << family;
        EXPECT_EQ(entry->inode, client.inode());
        EXPECT_EQ(entry->uid, ::geteuid());
        auto elsewhere = server;
        reinterpret_cast<sockaddr_in*>(&elsewhere.storage)->sin_port = htons(server.port() == 1 ? 2 : 1);
        EXPECT_FALSE(SocketDiagnostics::tcpSocket(client.local(), elsewhere));
    }
}

TEST(SocketDiagnostics, FindsTheUdpSenderBoundToTheAddressOrToAny) {
    Socket bound(AF_INET, SOCK_DGRAM);
    auto address = loopback(AF_INET);
    ASSERT_EQ(::bind(bound.fd, address.raw(), address.length()), 0);
    auto entry = SocketDiagnostics::udpSocket(bound.local());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->inode, bound.inode());

    // A dual-stack socket bound to [::]:p sends IPv4 datagrams from 127.0.0.1:p.
    Socket dual(AF_INET6, SOCK_DGRAM);
    int off = 0;
    ::setsockopt(dual.fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof(off));
    auto any = *SocketAddress::fromText("::", 0);
    ASSERT_EQ(::bind(dual.fd, any.raw(), any.length()), 0);
    auto source = *SocketAddress::fromText("127.0.0.1", dual.local().port());
    entry = SocketDiagnostics::udpSocket(source);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->inode, dual.inode());

    const auto all = SocketDiagnostics::udpSockets(AF_INET);
    ASSERT_TRUE(all);
    EXPECT_TRUE(SocketDiagnostics::holdsSocket(*all, bound.local(), bound.inode()));
    EXPECT_FALSE(SocketDiagnostics::holdsSocket(*all, bound.local(), bound.inode() + 1));
}

std::uint64_t cookieOf(const Socket& socket) {
    std::uint64_t cookie = 0;
    socklen_t length = sizeof(cookie);
    ::getsockopt(socket.fd, SOL_SOCKET, SO_COOKIE, &cookie, &length);
    return cookie;
}

// The socket a datagram came from, asked for by the datagram's two ends: bound
// to its address or to any, connected to the destination or not, and a
// dual-stack socket sending IPv4.
TEST(SocketDiagnostics, FindsTheUdpSenderOfADatagramByItsEnds) {
    struct Case {
        const char* name;
        int family;
        const char* bindTo;
        bool connectFirst;
        const char* source;
        const char* destination;
    };
    const Case cases[] = {
        {"bound to the address", AF_INET, "127.0.0.1", false, "127.0.0.1", "127.0.0.2"},
        {"bound to any", AF_INET, "0.0.0.0", false, "127.0.0.1", "127.0.0.2"},
        {"connected", AF_INET, "127.0.0.1", true, "127.0.0.1", "127.0.0.2"},
        {"IPv6", AF_INET6, "::1", false, "::1", "::1"},
        {"dual-stack sending IPv4", AF_INET6, "::", false, "127.0.0.1", "127.0.0.2"},
    };
    for (const Case& c : cases) {
        Socket sender(c.family, SOCK_DGRAM);
        const int off = 0;
        if (c.family == AF_INET6) ::setsockopt(sender.fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof(off));
        const auto bound = *SocketAddress::fromText(c.bindTo, 0);
        ASSERT_EQ(::bind(sender.fd, bound.raw(), bound.length()), 0) << c.name;
        const auto destination = *SocketAddress::fromText(c.destination, 5353);
        if (c.connectFirst) {
            ASSERT_EQ(::connect(sender.fd, destination.raw(), destination.length()), 0) << c.name;
        }
        const auto source = *SocketAddress::fromText(c.source, sender.local().port());
        const auto entry = SocketDiagnostics::udpSender(source, destination);
        ASSERT_TRUE(entry) << c.name;
        EXPECT_EQ(entry->inode, sender.inode()) << c.name;
        EXPECT_EQ(entry->cookie, cookieOf(sender)) << c.name;
    }
}

// A socket bound to a device is not found by the kernel's look-up without the
// device; the listing by port still finds it.
TEST(SocketDiagnostics, FindsAUdpSenderBoundToADevice) {
    Socket sender(AF_INET, SOCK_DGRAM);
    if (::setsockopt(sender.fd, SOL_SOCKET, SO_BINDTODEVICE, "lo", 3) != 0)
        GTEST_SKIP() << "binding to a device needs CAP_NET_RAW";
    auto any = *SocketAddress::fromText("0.0.0.0", 0);
    ASSERT_EQ(::bind(sender.fd, any.raw(), any.length()), 0);
    const auto source = *SocketAddress::fromText("127.0.0.1", sender.local().port());
    const auto entry = SocketDiagnostics::udpSender(source, *SocketAddress::fromText("127.0.0.2", 53));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->inode, sender.inode());
}

TEST(SocketOwnerIndex, ReadsSocketLinks) {
    EXPECT_EQ(SocketOwnerIndex::socketInode("socket:[12345]"), 12345U);
    EXPECT_EQ(SocketOwnerIndex::socketInode("socket:[]"), std::nullopt);
    EXPECT_EQ(SocketOwnerIndex::socketInode("socket:[+1]"), std::nullopt);
    EXPECT_EQ(SocketOwnerIndex::socketInode("pipe:[12345]"), std::nullopt);
    EXPECT_EQ(SocketOwnerIndex::socketInode("/dev/null"), std::nullopt);
}

TEST(SocketOwnerIndex, FindsOwnSocketsAndTheProcessHoldingOne) {
    SocketOwnerIndex index;
    Socket own(AF_INET, SOCK_DGRAM);
    EXPECT_EQ(index.ownerOf(own.inode()), ::getpid());

    // A child started with the socket as its standard input holds it too;
    // after the parent closes its copy the child is the owner.
    Socket shared(AF_INET, SOCK_DGRAM);
    const auto inode = shared.inode();
    const pid_t child = handToChild(shared);
    ASSERT_GT(child, 0);
    EXPECT_EQ(index.ownerOf(inode), child);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(index.ownerOf(inode), std::nullopt);
}

// The daemon's own connection is told apart (it is passed through, never routed);
// another program's is described by its token and identifier.
TEST(FlowOwnerLookup, TellsTheDaemonsOwnConnectionFromAnotherProgramsOne) {
    const Socket listener = listening(AF_INET);
    const auto server = listener.local();
    FlowOwnerLookup lookup;

    Socket own(AF_INET, SOCK_STREAM);
    ASSERT_EQ(::connect(own.fd, server.raw(), server.length()), 0);
    auto owner = lookup.tcpOwner(own.local(), server);
    EXPECT_TRUE(owner.isDaemon);
    EXPECT_EQ(owner.pid, ::getpid());
    EXPECT_EQ(owner.socketInode, own.inode());

    Socket given(AF_INET, SOCK_STREAM);
    ASSERT_EQ(::connect(given.fd, server.raw(), server.length()), 0);
    const auto appEnd = given.local();
    const pid_t child = handToChild(given);
    ASSERT_GT(child, 0);
    owner = lookup.tcpOwner(appEnd, server);
    EXPECT_FALSE(owner.isDaemon);
    EXPECT_EQ(owner.pid, child);
    ASSERT_TRUE(owner.metaData.sourceAppAuditToken);
    EXPECT_EQ(owner.metaData.sourceAppAuditToken->size(), 32U);
    EXPECT_EQ(owner.metaData.sourceAppSigningIdentifier, "sleep");
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

// A connection whose program has closed it (the kernel still finishes it) and a
// datagram whose socket is gone have no owner, and each says so in a line of its own.
TEST(FlowOwnerLookup, ReportsFlowsThatNoProcessHolds) {
    testing::ScopedLogCapture log;
    const Socket listener = listening(AF_INET);
    const auto server = listener.local();
    FlowOwnerLookup lookup;

    Socket closed(AF_INET, SOCK_STREAM);
    ASSERT_EQ(::connect(closed.fd, server.raw(), server.length()), 0);
    const auto appEnd = closed.local();
    ::close(closed.fd);
    closed.fd = -1;
    EXPECT_EQ(lookup.tcpOwner(appEnd, server).pid, std::nullopt);

    Socket gone(AF_INET, SOCK_DGRAM);
    const auto address = loopback(AF_INET);
    ASSERT_EQ(::bind(gone.fd, address.raw(), address.length()), 0);
    const auto source = gone.local();
    ::close(gone.fd);
    gone.fd = -1;
    EXPECT_EQ(lookup.udpOwner(source, *SocketAddress::fromText("127.0.0.1", 53)).pid, std::nullopt);

    const auto line = [](const std::string& protocol, std::uint16_t port) {
        return "No process holds the " + protocol + " socket 127.0.0.1:" + std::to_string(port) +
               " (it may have exited); rules naming an application cannot apply to its flow";
    };
    EXPECT_EQ(log->lines(), (std::vector<std::string>{line("TCP", appEnd.port()), line("UDP", source.port())}));
}

// A /proc tree of symbolic links: PID/fd/FD -> "socket:[INODE]".
class FakeProcTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvane-proc.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    void holds(int pid, int fd, std::uint64_t inode) {
        const auto directory = root_ / std::to_string(pid) / "fd";
        std::filesystem::create_directories(directory);
        std::filesystem::remove(directory / std::to_string(fd));
        std::filesystem::create_symlink("socket:[" + std::to_string(inode) + "]", directory / std::to_string(fd));
    }
    void exits(int pid) { std::filesystem::remove_all(root_ / std::to_string(pid)); }

    std::filesystem::path root_;
};

TEST_F(FakeProcTest, AskedOwnersAreRecheckedAndRecentOwnersComeFirst) {
    holds(100, 0, 7);
    std::filesystem::create_symlink("/dev/null", root_ / "100" / "fd" / "1");  // not a socket: skipped
    holds(200, 5, 222);
    SocketOwnerIndex index(root_.string());
    EXPECT_EQ(index.ownerOf(222), 200);

    // A socket shared with a lower pid: the recent owner answers, so no full scan ran.
    holds(150, 4, 333);
    holds(200, 9, 333);
    EXPECT_EQ(index.ownerOf(333), 200);

    // The remembered descriptor now names another socket: the old one is gone.
    holds(200, 5, 444);
    EXPECT_EQ(index.ownerOf(222), std::nullopt);
    EXPECT_EQ(index.ownerOf(444), 200);

    // The owner exits: a full scan finds the other holder.
    exits(200);
    EXPECT_EQ(index.ownerOf(333), 150);
    EXPECT_EQ(index.ownerOf(7), 100);
}

}  // namespace
}  // namespace corvane::platform
