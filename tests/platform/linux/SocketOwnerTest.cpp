#include "platform/linux/FlowOwnerLookup.hpp"
#include "platform/linux/SocketDiagnostics.hpp"
#include "platform/linux/SocketOwnerIndex.hpp"

#include "platform/linux/AuditToken.hpp"

#include "ChildProcess.hpp"
#include "platform/testing/CaptureLogSink.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <asio/io_context.hpp>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <thread>
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

bool waitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// One byte, with room for one descriptor passed along with it.
struct RightsMessage {
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    char byte = 'x';
    iovec vector{&byte, 1};
    msghdr message{};

    RightsMessage() {
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
    }
    RightsMessage(const RightsMessage&) = delete;
    RightsMessage& operator=(const RightsMessage&) = delete;
};

// Sends the descriptor over a Unix socket pair and closes it here: until the
// other end receives it, no process holds it.
void putInFlight(Socket& socket, int pair[2]) {
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair), 0);
    RightsMessage sent;
    cmsghdr* header = CMSG_FIRSTHDR(&sent.message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &socket.fd, sizeof(int));
    ASSERT_EQ(::sendmsg(pair[0], &sent.message, 0), 1);
    ::close(socket.fd);
    socket.fd = -1;
}

int receiveFromFlight(int pair[2]) {
    RightsMessage received;
    if (::recvmsg(pair[1], &received.message, MSG_CMSG_CLOEXEC) != 1) return -1;
    int fd = -1;
    std::memcpy(&fd, CMSG_DATA(CMSG_FIRSTHDR(&received.message)), sizeof(int));
    return fd;
}

std::vector<int> sorted(std::vector<int> pids) {
    std::sort(pids.begin(), pids.end());
    return pids;
}

// Starts a program with the socket as its standard input; the caller keeps
// its own copy. -1 when it cannot start.
pid_t shareWithChild(const Socket& socket, std::vector<std::string> argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, socket.fd, 0);
    std::vector<char*> raw;
    for (auto& argument : argv) raw.push_back(argument.data());
    raw.push_back(nullptr);
    pid_t child = -1;
    if (::posix_spawn(&child, raw[0], &actions, nullptr, raw.data(), environ) != 0) child = -1;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

void reap(pid_t pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// The processes of `pid`, when it has started its own child.
std::vector<int> childrenOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    std::vector<int> children;
    for (int child = 0; in >> child;) children.push_back(child);
    return children;
}

TEST(SocketOwnerIndex, FindsOwnSocketsAndTheProcessHoldingOne) {
    SocketOwnerIndex index;
    Socket own(AF_INET, SOCK_DGRAM);
    EXPECT_EQ(index.holdersOf(own.inode(), ::geteuid()), std::vector<int>{::getpid()});

    // A child started with the socket as its standard input holds it too;
    // after the parent closes its copy the child is the owner.
    Socket shared(AF_INET, SOCK_DGRAM);
    const auto inode = shared.inode();
    const pid_t child = handToChild(shared);
    ASSERT_GT(child, 0);
    EXPECT_EQ(index.holdersOf(inode, ::geteuid()), std::vector<int>{child});
    reap(child);
    EXPECT_EQ(index.holdersOf(inode, ::geteuid()), std::vector<int>{});
}

// A socket inherited across a fork is held by both sides. Found the first
// time by a scan of the user's processes, then from where it was last found
// and that process's child.
TEST(SocketOwnerIndex, FindsTheRelativesAForkedSocketIsSharedWith) {
    Socket socket(AF_INET, SOCK_DGRAM);
    const pid_t parent = shareWithChild(socket, {"/usr/bin/timeout", "5", "/bin/sleep", "5"});
    ASSERT_GT(parent, 0);
    std::vector<int> children;
    ASSERT_TRUE(waitFor([&] { return !(children = childrenOf(parent)).empty(); }));
    const std::vector<int> holders = sorted({::getpid(), parent, children.front()});
    const auto inode = socket.inode();
    SocketOwnerIndex index;
    EXPECT_EQ(sorted(index.holdersOf(inode, ::geteuid())), holders);
    ::close(socket.fd);
    socket.fd = -1;
    EXPECT_EQ(sorted(index.holdersOf(inode, ::geteuid())), sorted({parent, children.front()}));
    EXPECT_EQ(sorted(index.holdersOf(inode, ::geteuid())), sorted({parent, children.front()}));
    reap(parent);
    reap(children.front());
}

// The lookup's answer for a connection to `server` from `appEnd`, and when it came.
FlowOwnerLookup::Owner tcpOwner(FlowOwnerLookup& lookup, const SocketAddress& appEnd, const SocketAddress& server,
                                std::chrono::steady_clock::time_point* answered = nullptr) {
    asio::io_context loop;
    FlowOwnerLookup::Owner found;
    lookup.tcpOwner(appEnd, server, loop.get_executor(), [&](FlowOwnerLookup::Owner owner) {
        found = owner;
        if (answered) *answered = std::chrono::steady_clock::now();
    });
    loop.run();
    return found;
}

FlowOwnerLookup::Owner udpOwner(FlowOwnerLookup& lookup, const SocketAddress& source) {
    asio::io_context loop;
    FlowOwnerLookup::Owner found;
    lookup.udpOwner(source, SocketDiagnostics::udpSocket(source), loop.get_executor(),
                    [&](FlowOwnerLookup::Owner owner) { found = owner; });
    loop.run();
    return found;
}

// The daemon's own connection is told apart (it is passed through, never routed);
// another program's is described by its token and identifier.
TEST(FlowOwnerLookup, TellsTheDaemonsOwnConnectionFromAnotherProgramsOne) {
    const Socket listener = listening(AF_INET);
    const auto server = listener.local();
    const auto lookup = std::make_shared<FlowOwnerLookup>();

    Socket own(AF_INET, SOCK_STREAM);
    ASSERT_EQ(::connect(own.fd, server.raw(), server.length()), 0);
    auto owner = tcpOwner(*lookup, own.local(), server);
    EXPECT_TRUE(owner.isDaemon);
    EXPECT_EQ(owner.pid, ::getpid());
    EXPECT_EQ(owner.socketInode, own.inode());

    Socket given(AF_INET, SOCK_STREAM);
    ASSERT_EQ(::connect(given.fd, server.raw(), server.length()), 0);
    const auto appEnd = given.local();
    const pid_t child = handToChild(given);
    ASSERT_GT(child, 0);
    owner = tcpOwner(*lookup, appEnd, server);
    EXPECT_FALSE(owner.isDaemon);
    EXPECT_EQ(owner.pid, child);
    ASSERT_TRUE(owner.metaData.sourceAppAuditToken);
    EXPECT_EQ(owner.metaData.sourceAppAuditToken->size(), 32U);
    EXPECT_EQ(AuditToken::word(std::span<const std::uint8_t, 32>(owner.metaData.sourceAppAuditToken->data(), 32),
                               AuditToken::Word::pid),
              static_cast<std::uint32_t>(child));
    EXPECT_EQ(owner.metaData.sourceAppSigningIdentifier, "sleep");
    reap(child);
}

// A connection whose socket two programs hold (made before a fork, one side
// then ran another program) is no one program's: its token names no process
// and it has no identifier, so it is verified for neither.
TEST(FlowOwnerLookup, ASocketHeldByTwoProgramsIsNeitherOnes) {
    const Socket listener = listening(AF_INET);
    const auto server = listener.local();
    Socket shared(AF_INET, SOCK_STREAM);
    ASSERT_EQ(::connect(shared.fd, server.raw(), server.length()), 0);
    const auto appEnd = shared.local();
    const pid_t parent = shareWithChild(shared, {"/usr/bin/timeout", "5", "/bin/sleep", "5"});
    ASSERT_GT(parent, 0);
    ASSERT_TRUE(waitFor([&] { return !childrenOf(parent).empty(); }));
    ::close(shared.fd);
    shared.fd = -1;
    const auto owner = tcpOwner(*std::make_shared<FlowOwnerLookup>(), appEnd, server);
    EXPECT_EQ(owner.pid, parent);
    ASSERT_TRUE(owner.metaData.sourceAppAuditToken);
    const std::span<const std::uint8_t, 32> token(owner.metaData.sourceAppAuditToken->data(), 32);
    EXPECT_EQ(AuditToken::word(token, AuditToken::Word::pid), 0U);
    EXPECT_EQ(AuditToken::word(token, AuditToken::Word::effectiveUid), ::geteuid());
    EXPECT_EQ(owner.metaData.sourceAppSigningIdentifier, "");
    for (const int child : childrenOf(parent)) reap(child);
    reap(parent);
}

// A connection whose program has closed it (the kernel still finishes it) and a
// datagram whose socket is gone have no owner, and each says so in a line of
// its own; so does a flow whose owner is not found before the deadline.
TEST(FlowOwnerLookup, ReportsFlowsThatNoProcessHolds) {
    testing::ScopedLogCapture log;
    const Socket listener = listening(AF_INET);
    const auto server = listener.local();
    const auto lookup = std::make_shared<FlowOwnerLookup>();

    Socket closed(AF_INET, SOCK_STREAM);
    ASSERT_EQ(::connect(closed.fd, server.raw(), server.length()), 0);
    const auto appEnd = closed.local();
    ::close(closed.fd);
    closed.fd = -1;
    EXPECT_EQ(tcpOwner(*lookup, appEnd, server).pid, std::nullopt);

    Socket gone(AF_INET, SOCK_DGRAM);
    const auto address = loopback(AF_INET);
    ASSERT_EQ(::bind(gone.fd, address.raw(), address.length()), 0);
    const auto source = gone.local();
    ::close(gone.fd);
    gone.fd = -1;
    EXPECT_EQ(udpOwner(*lookup, source).pid, std::nullopt);

    // Held by nobody for longer than the deadline allows: in flight between
    // processes all that time.
    const auto impatient = std::make_shared<FlowOwnerLookup>(
        std::make_shared<ProcessIdentityCache>(),
        FlowOwnerLookup::Timing{std::chrono::milliseconds(20), {std::chrono::milliseconds(300)}},
        OwnerLookupPool::Limits{});
    Socket late(AF_INET, SOCK_STREAM);
    ASSERT_EQ(::connect(late.fd, server.raw(), server.length()), 0);
    const auto lateEnd = late.local();
    int pair[2];
    putInFlight(late, pair);
    const auto started = std::chrono::steady_clock::now();
    auto answered = started;
    EXPECT_EQ(tcpOwner(*impatient, lateEnd, server, &answered).pid, std::nullopt);
    EXPECT_LT(answered - started, std::chrono::milliseconds(250));
    ::close(pair[0]);
    ::close(pair[1]);

    const auto line = [](const std::string& protocol, std::uint16_t port) {
        return "No process holds the " + protocol + " socket 127.0.0.1:" + std::to_string(port) +
               " (it may have exited); rules naming an application cannot apply to its flow";
    };
    EXPECT_EQ(log->lines(),
              (std::vector<std::string>{line("TCP", appEnd.port()), line("UDP", source.port()),
                                        "The process holding the TCP socket 127.0.0.1:" +
                                            std::to_string(lateEnd.port()) +
                                            " was not found in time; rules naming an application cannot apply to "
                                            "its flow"}));
}

// A socket passed between processes is held by none while it is in flight;
// it is looked for again for a moment before it counts as nobody's.
TEST(FlowOwnerLookup, FindsTheOwnerOfASocketThatWasInFlight) {
    const Socket listener = listening(AF_INET);
    const auto server = listener.local();
    Socket passed(AF_INET, SOCK_STREAM);
    ASSERT_EQ(::connect(passed.fd, server.raw(), server.length()), 0);
    const auto appEnd = passed.local();
    int pair[2];
    putInFlight(passed, pair);
    std::thread receiver([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        passed.fd = receiveFromFlight(pair);
    });
    const auto owner = tcpOwner(*std::make_shared<FlowOwnerLookup>(), appEnd, server);
    receiver.join();
    EXPECT_EQ(owner.pid, ::getpid());
    ::close(pair[0]);
    ::close(pair[1]);
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
    // PID runs EXECUTABLE, a child of PARENT, started STARTED clock ticks after boot.
    void runs(int pid, int parent, const std::string& executable, std::uint64_t started) {
        const auto directory = root_ / std::to_string(pid);
        std::filesystem::create_directories(directory / "fd");
        std::filesystem::create_symlink(executable, directory / "exe");
        std::ofstream(directory / "status") << "Name:\tx\nPPid:\t" << parent << "\n";
        std::string fields;
        for (int field = 5; field < 22; ++field) fields += " 0";  // process group to itrealvalue
        std::ofstream(directory / "stat") << pid << " (x) S " << parent << fields << ' ' << started << " 0\n";
    }

    std::filesystem::path root_;
};

TEST_F(FakeProcTest, AskedOwnersAreRecheckedAndRecentOwnersComeFirst) {
    holds(100, 0, 7);
    std::filesystem::create_symlink("/dev/null", root_ / "100" / "fd" / "1");  // not a socket: skipped
    holds(200, 5, 222);
    SocketOwnerIndex index(root_.string());
    const auto user = ::geteuid();
    const auto owner = [&](std::uint64_t inode) {
        const auto holders = index.holdersOf(inode, user);
        return holders.empty() ? std::nullopt : std::optional(holders.front());
    };
    EXPECT_EQ(owner(222), 200);

    // A socket shared with a lower pid: the recent owner answers, so no scan ran.
    holds(150, 4, 333);
    holds(200, 9, 333);
    EXPECT_EQ(owner(333), 200);

    // The remembered descriptor now names another socket: the old one is gone.
    holds(200, 5, 444);
    EXPECT_EQ(owner(222), std::nullopt);
    EXPECT_EQ(owner(444), 200);

    // The owner exits: a scan finds the other holder.
    exits(200);
    EXPECT_EQ(owner(333), 150);
    EXPECT_EQ(owner(7), 100);
    // Beyond the socket's user's processes, all are scanned at most once a second per user.
    holds(100, 3, 9);
    EXPECT_EQ(index.holdersOf(9, user + 1), std::vector<int>{100});
    holds(300, 2, 8);
    EXPECT_EQ(index.holdersOf(8, user + 1), std::vector<int>{});
}

// What a relative of the owner held is kept: a list read after the owner
// started answers "no" without a new read, one read before it does not, and a
// list that names the socket is read again.
TEST_F(FakeProcTest, ARelativesSocketsAreKeptOnlyFromAfterTheOwnerStarted) {
    const std::uint64_t longAgo = 0;
    const std::uint64_t later = std::numeric_limits<std::uint32_t>::max();
    runs(100, 1, "/bin/sh", longAgo);
    runs(200, 100, "/bin/sleep", later);
    runs(300, 100, "/bin/cat", longAgo);
    holds(100, 3, 500);
    holds(200, 4, 501);
    holds(300, 4, 601);
    SocketOwnerIndex index(root_.string());
    const auto user = ::geteuid();
    ASSERT_EQ(index.holdersOf(501, user), std::vector<int>{200});
    ASSERT_EQ(index.holdersOf(601, user), std::vector<int>{300});

    // The parent gains a socket its children hold under other numbers. For
    // 200, started after the parent's list was read, the list is read again.
    holds(200, 5, 502);
    holds(100, 6, 502);
    EXPECT_EQ(sorted(index.holdersOf(502, user)), sorted({200, 100}));
    // Passed to 300 and closed in the parent and in 200: for 300 the parent's
    // list, which names it, is read again and no longer does.
    holds(300, 8, 502);
    std::filesystem::remove(root_ / "100" / "fd" / "6");
    std::filesystem::remove(root_ / "200" / "fd" / "5");
    EXPECT_EQ(index.holdersOf(502, user), std::vector<int>{300});
    // Under the owner's own number the parent is seen holding it at once.
    holds(300, 7, 503);
    holds(100, 7, 503);
    EXPECT_EQ(sorted(index.holdersOf(503, user)), sorted({300, 100}));
}

}  // namespace
}  // namespace corvane::platform
