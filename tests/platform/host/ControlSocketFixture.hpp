#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>
#include <gtest/gtest.h>

#include "SessionFixture.hpp"
#include "platform/host/ControlClient.hpp"
#include "platform/host/ControlServer.hpp"

namespace corvane::platform::hosttest {

// An answer that never comes fails the test; the wait is generous, since the
// sanitizer builds on a loaded machine take seconds to store a large configuration.
inline constexpr std::chrono::seconds kAnswerWait{20};

template <class T>
T await(std::future<T>& future) {
    if (future.wait_for(kAnswerWait) != std::future_status::ready) throw std::runtime_error("timed out");
    return future.get();
}

// A daemon host on a real socket in the session's folder, run by one thread
// (more with runOnThreads).
class ControlSocketTest : public SessionFixture {
protected:
    static constexpr gid_t kCorvaneGroup = 4242;

    ControlSocketTest() {
        server = std::make_unique<ControlServer>(
            context.get_executor(), *session, *store, socketPath(), ExtensionVersion{"1.0", "7"},
            [this] { return fakeUid >= 0 ? std::optional<gid_t>(kCorvaneGroup) : std::nullopt; },
            [this](int socket) -> std::optional<ControlServer::PeerIdentity> {
                const long uid = fakeUid;
                if (uid < 0) return ControlServer::socketPeerIdentity(socket);
                return ControlServer::PeerIdentity{{0, static_cast<uid_t>(uid), kCorvaneGroup}, {}};
            });
        server->open();
        runOnThreads(1);
    }
    ~ControlSocketTest() override {
        asio::post(context, [this] { server->close(); });
        work.reset();
        context.stop();
        for (auto& runner : runners) runner.join();
    }

    void runOnThreads(std::size_t count) {
        while (runners.size() < count) runners.emplace_back([this] { context.run(); });
    }

    std::filesystem::path socketPath() const { return directory / "run" / "control.sock"; }

    std::shared_ptr<ControlClient> connected() {
        auto client = ControlClient::create(context.get_executor());
        std::promise<Error> done;
        auto future = done.get_future();
        client->connect(socketPath(), [&](Error error) { done.set_value(error); });
        EXPECT_FALSE(await(future));
        return client;
    }

    // True when the daemon accepted the client's START.
    bool start(ControlClient& client) {
        std::promise<bool> started;
        auto future = started.get_future();
        client.start([&](bool ok) { started.set_value(ok); });
        return await(future);
    }

    // A client that has started the session, once the session is connected.
    std::shared_ptr<ControlClient> startedClient() {
        using namespace std::chrono_literals;
        auto client = connected();
        EXPECT_TRUE(start(*client));
        for (int i = 0; i < 50 && session->status() != SessionStatus::connected; ++i) std::this_thread::sleep_for(10ms);
        return client;
    }

    std::optional<ControlClient::Hello> hello(ControlClient& client) {
        std::promise<std::optional<ControlClient::Hello>> hello;
        auto future = hello.get_future();
        client.hello([&](auto info) { hello.set_value(info); });
        return await(future);
    }

    std::optional<ControlClient::Reply> request(ControlClient& client, ControlKind kind, Bytes payload) {
        std::promise<std::optional<ControlClient::Reply>> reply;
        auto future = reply.get_future();
        client.request(kind, std::move(payload), [&](auto r) { reply.set_value(r); });
        return await(future);
    }

    // A plain socket connected to the daemon; the caller closes it.
    int rawConnection() const {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath().c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    }

    // Raw bytes to the socket; true when the daemon closed the connection without
    // sending anything.
    bool closedAfterSending(const Bytes& bytes) const {
        const int fd = rawConnection();
        // The daemon may close a refused peer before our bytes are even sent.
        if (::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) {
            const bool closed = errno == EPIPE || errno == ECONNRESET;
            ::close(fd);
            return closed;
        }
        timeval timeout{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        char buffer[64];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        const bool reset = n < 0 && errno == ECONNRESET;  // closed with our bytes unread
        ::close(fd);
        return n == 0 || reset;
    }

    // Peers are whom the kernel names, unless a test sets this: then each new peer
    // is this user, a member of the group "corvane".
    std::atomic<long> fakeUid{-1};
    asio::executor_work_guard<asio::io_context::executor_type> work{context.get_executor()};
    std::unique_ptr<ControlServer> server;
    std::vector<std::thread> runners;
};

}  // namespace corvane::platform::hosttest
