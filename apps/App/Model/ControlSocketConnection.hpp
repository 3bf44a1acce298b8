#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include <asio/any_io_executor.hpp>

#include "DaemonConnection.hpp"
#include "platform/host/ControlClient.hpp"

namespace corvane::app {

// The daemon connection over its control socket. It connects when first needed
// and again after the daemon went away; once connected it subscribes to the
// session status. The client runs on the worker's executor; every answer is
// carried to the main thread.
class ControlSocketConnection : public DaemonConnection {
    Q_OBJECT

public:
    // Requests that may wait for the connection to open.
    static constexpr std::size_t kMaxWaitingRequests = 64;

    ControlSocketConnection(asio::any_io_executor executor, std::filesystem::path socketPath,
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

    static std::string lostConnectionText();

private:
    using Client = std::shared_ptr<platform::ControlClient>;
    // Gets a connected client, or none with the reason it could not connect.
    using Use = std::function<void(Client, std::string)>;

    void withClient(Use use);
    void connected(std::uint64_t generation, platform::Error error);
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
};

}  // namespace corvane::app
