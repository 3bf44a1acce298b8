// Connections that end at any point of an exchange, most while a reply or a
// request is still being written: neither side of the control socket may touch
// a buffer or a queue of a connection that has gone.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <random>

#include <asio/io_context.hpp>

#include "ControlSocketFixture.hpp"

namespace corvane::platform {
namespace {

using namespace std::chrono_literals;

void sendAll(int fd, const Bytes& bytes, std::size_t length) {
    for (std::size_t done = 0; done < length;) {
        const ssize_t n = ::send(fd, bytes.data() + done, length - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// Reads up to length bytes; stops early when the other side closes.
void receive(int fd, std::size_t length) {
    timeval timeout{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::vector<std::uint8_t> buffer(65536);
    for (std::size_t done = 0; done < length;) {
        const ssize_t n = ::recv(fd, buffer.data(), std::min(buffer.size(), length - done), 0);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

Bytes encoded(std::initializer_list<ControlFrame> frames) {
    Bytes bytes;
    for (const auto& frame : frames) {
        const Bytes one = frame.encode();
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return bytes;
}

class ControlServerLifecycleTest : public hosttest::ControlSocketTest {
protected:
    // The saved configuration carries this much data, so that a LOAD reply outgrows
    // the socket's buffer and stays in flight until the client reads it.
    static constexpr std::size_t kDataSize = 96 * 1024;

    ControlServerLifecycleTest() {
        runOnThreads(4);  // as many as the daemon's pool
        store->save({"Corvane", true,
                     {"org.corvane.Corvane.tunnel", "Corvane", ConfigurationDictionary{{"data", Bytes(kDataSize, 7)}}}});
        startedClient();  // provider messages are answered only in a running session
    }

    // Sends HELLO, LOAD, a provider message and LOAD at once and ends the connection
    // in one of three ways: mid-request; with a frame only the daemon may send, after
    // which the daemon hangs up while its replies are in flight; or, most often,
    // mid-reply, after reading part of the replies.
    void hangUpAtRandom(std::mt19937& random) {
        Bytes burst = encoded({ControlFrame{ControlKind::hello, 1, {}},
                               ControlFrame{ControlKind::loadConfigurations, 2, {}},
                               ControlFrame{ControlKind::message, 3, Bytes(random() % 32768, 'm')},
                               ControlFrame{ControlKind::loadConfigurations, 4, {}}});
        const int fd = rawConnection();
        switch (random() % 4) {
        case 0:
            sendAll(fd, burst, random() % burst.size());
            break;
        case 1: {
            const Bytes refused = ControlFrame{ControlKind::status, 0, {1}}.encode();
            burst.insert(burst.end(), refused.begin(), refused.end());
            sendAll(fd, burst, burst.size());
            receive(fd, SIZE_MAX);  // until the daemon hangs up
            break;
        }
        default:
            sendAll(fd, burst, burst.size());
            // Less than one LOAD reply, so it always arrives; the rest is left unread.
            receive(fd, random() % kDataSize);
        }
        ::close(fd);
    }

    bool answersHello() {
        for (int attempt = 0; attempt < 100; ++attempt) {
            // Peers that hung up last may still hold their slots for a moment.
            if (hello(*connected())) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
};

TEST_F(ControlServerLifecycleTest, PeersThatHangUpMidReplyLeaveTheDaemonServing) {
    constexpr int kClients = 6;
#ifdef __SANITIZE_THREAD__
    constexpr int kConnectionsEach = 60;  // each connection costs some 30 times as much under ThreadSanitizer
#else
    constexpr int kConnectionsEach = 400;
#endif
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([this, c] {
            std::mt19937 random(static_cast<unsigned>(c + 1));
            for (int i = 0; i < kConnectionsEach; ++i) hangUpAtRandom(random);
        });
    }
    for (auto& client : clients) client.join();
    EXPECT_TRUE(answersHello());
}

// A daemon stand-in that reads part of what each client sends and hangs up.
class HangingUpDaemon {
public:
    explicit HangingUpDaemon(std::filesystem::path path) : path_(std::move(path)) {
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 16) != 0) {
            throw std::runtime_error("could not listen");
        }
    }
    ~HangingUpDaemon() { ::close(listener_); }

    // Takes one connection, reads fewer bytes than the client sends, and closes it.
    void hangUpOnNext(std::mt19937& random, std::size_t clientSends) {
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        receive(fd, random() % clientSends);
        ::close(fd);
    }

private:
    std::filesystem::path path_;
    int listener_ = -1;
};

TEST(ControlClientLifecycleTest, ADaemonHangingUpMidRequestAnswersEveryRequestWithNone) {
    char pattern[] = "/tmp/corvane-client-XXXXXX";
    const std::filesystem::path directory = ::mkdtemp(pattern);
    HangingUpDaemon daemon(directory / "control.sock");
    asio::io_context context;
    auto work = asio::make_work_guard(context);
    std::vector<std::thread> pool;
    for (int i = 0; i < 4; ++i) pool.emplace_back([&] { context.run(); });

    constexpr int kConnections = 1500;
    constexpr std::size_t kMessage = 48 * 1024;
    constexpr int kRequests = 4;
    const std::size_t clientSends = 9 + (kRequests - 1) * (9 + kMessage);
    std::thread daemonThread([&] {
        std::mt19937 random(1);
        for (int i = 0; i < kConnections; ++i) daemon.hangUpOnNext(random, clientSends);
    });

    // Counts the answers of one client; shared, as a late answer may outlive the wait.
    struct Answers {
        std::mutex lock;
        std::condition_variable changed;
        int count = 0;
        void add() {
            std::lock_guard guard(lock);
            ++count;
            changed.notify_all();
        }
    };
    int unanswered = 0;
    for (int i = 0; i < kConnections; ++i) {
        auto client = ControlClient::create(context.get_executor());
        std::promise<Error> connected;
        auto connectedFuture = connected.get_future();
        client->connect(directory / "control.sock", [&](Error error) { connected.set_value(error); });
        ASSERT_FALSE(hosttest::await(connectedFuture));
        auto answers = std::make_shared<Answers>();
        client->hello([answers](auto) { answers->add(); });
        for (int r = 1; r < kRequests; ++r) {
            client->sendProviderMessage(Bytes(kMessage, 'm'), [answers](auto) { answers->add(); });
        }
        std::unique_lock guard(answers->lock);
        if (!answers->changed.wait_for(guard, 2s, [&] { return answers->count == kRequests; })) ++unanswered;
        client->close();
    }
    daemonThread.join();
    work.reset();
    for (auto& thread : pool) thread.join();
    std::filesystem::remove_all(directory);
    EXPECT_EQ(unanswered, 0);
}

}  // namespace
}  // namespace corvane::platform
