#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include <asio/any_io_executor.hpp>

#include <QTimer>

#include "DaemonConnection.hpp"
#include "platform/host/ControlClient.hpp"

namespace corvane::app {

// The daemon connection over its control socket. It connects when first needed;
// once connected it subscribes to the session status. After a failed attempt or
// a drop it tries again every reconnect interval until a daemon answers, so a
// daemon that was installed, restarted or started later is found by itself.
// The client runs on the worker's executor; every answer is carried to the
// main thread.
class ControlSocketConnection : public DaemonConnection {
    Q_OBJECT

public:
    // Requests that may wait for the connection to open.
    static constexpr std::size_t kMaxWaitingRequests = 64;
    static constexpr std::chrono::milliseconds kReconnectInterval{2000};

    ControlSocketConnection(asio::any_io_executor executor, std::filesystem::path socketPath,
                            std::chrono::milliseconds reconnectInterval = kReconnectInterval,
                            QObject* parent = nullptr);
    ~ControlSocketConnection() override;

    void loadConfigurations(QObject* context, std::function<void(LoadResult)> done) override;
    void saveConfiguration(const Configuration& configuration, QObject* context,
                           std::function<void(Failure)> done) override;
    void startTunnel(QObject* context, std::function<void(Failure)> done) override;
    void stopTunnel(QObject* context, std::function<void()> done) override;
    void sendProviderMessage(platform::Bytes message, QObject* context,
                             std::function<void(MessageResult)> done) override;
    platform::SessionStatus status() const override { return status_; }
    bool connected() const override { return client_ && !connecting_; }

    static std::string lostConnectionText();

private:
    using Client = std::shared_ptr<platform::ControlClient>;
    // Gets a connected client, or none with the reason it could not connect.
    using Use = std::function<void(Client, DaemonFailure)>;

    void withClient(Use use);
    void opened(std::uint64_t generation, platform::Error error);
    void dropped(std::uint64_t generation);
    void setStatus(platform::SessionStatus status);

    asio::any_io_executor executor_;
    std::filesystem::path socketPath_;
    Client client_;
    // Counts the clients made; answers of an earlier client are ignored.
    std::uint64_t generation_ = 0;
    bool connecting_ = false;
    std::vector<Use> waiting_;
    platform::SessionStatus status_ = platform::SessionStatus::invalid;
    QTimer reconnect_;
};

}  // namespace corvane::app
