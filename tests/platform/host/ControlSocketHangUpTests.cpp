// Clients that hang up while the daemon still writes their replies: the
// daemon's control server must shrug them off and keep serving.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include <asio/executor_work_guard.hpp>
#include <gtest/gtest.h>

#include "ControlSocketFixture.hpp"
#include "SessionFixture.hpp"
#include "platform/host/ControlClient.hpp"
#include "platform/host/ControlFrame.hpp"
#include "platform/host/ControlServer.hpp"

namespace corvane::platform {
namespace {

using namespace std::chrono_literals;

class ControlSocketHangUpTest : public hosttest::SessionFixture {
protected:
    ControlSocketHangUpTest() {
        server = std::make_unique<ControlServer>(context.get_executor(), *session, *store, socketPath(),
                                                 ExtensionVersion{"1.0", "7"}, [] { return std::optional<gid_t>(); });
        server->open();
        for (int i = 0; i < 4; ++i) pool.emplace_back([this] { context.run(); });
    }
    ~ControlSocketHangUpTest() override {
        asio::post(context, [this] { server->close(); });
        work.reset();
        context.stop();
        for (auto& thread : pool) thread.join();
    }

    std::filesystem::path socketPath() const { return directory / "control.sock"; }

    // Connects, sends a few requests and closes, at once or after the first
    // bytes of the replies.
    void hangUp(bool readFirst) const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath().c_str(), sizeof address.sun_path - 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            Bytes requests;
            std::uint32_t id = 1;
            for (const ControlKind kind : {ControlKind::hello, ControlKind::loadConfigurations, ControlKind::subscribe}) {
                const Bytes frame = ControlFrame{kind, id++, {}}.encode();
                requests.insert(requests.end(), frame.begin(), frame.end());
            }
            ::send(fd, requests.data(), requests.size(), MSG_NOSIGNAL);
            char buffer[16];
            if (readFirst) ::recv(fd, buffer, sizeof buffer, 0);
        }
        ::close(fd);
    }

    asio::executor_work_guard<asio::io_context::executor_type> work{context.get_executor()};
    std::unique_ptr<ControlServer> server;
    std::vector<std::thread> pool;
};

TEST_F(ControlSocketHangUpTest, ClientsHangingUpOnTheirRepliesLeaveTheDaemonServing) {
    std::vector<std::thread> clients;
    for (int i = 0; i < 16; ++i) {
        clients.emplace_back([this, i] {
            const auto end = std::chrono::steady_clock::now() + 3s;
            while (std::chrono::steady_clock::now() < end) hangUp(i % 2 == 0);
        });
    }
    for (auto& client : clients) client.join();

    auto client = ControlClient::create(context.get_executor());
    std::promise<Error> connected;
    client->connect(socketPath(), [&](Error error) { connected.set_value(error); });
    ASSERT_FALSE(connected.get_future().get());
    std::promise<std::optional<ControlClient::Hello>> hello;
    auto answer = hello.get_future();
    client->hello([&](std::optional<ControlClient::Hello> info) { hello.set_value(info); });
    ASSERT_EQ(answer.wait_for(hosttest::kAnswerWait), std::future_status::ready);
    const auto info = answer.get();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->version.build, "7");
    client->close();
}

}  // namespace
}  // namespace corvane::platform
