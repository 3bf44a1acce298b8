#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/strand.hpp>

#include "platform/DiversionBackend.hpp"
#include "platform/Logger.hpp"
#include "platform/ProviderHost.hpp"
#include "platform/TransparentProxyProvider.hpp"
#include "platform/host/ConfigurationStore.hpp"
#include "platform/host/SessionStatus.hpp"

namespace corvane::platform {

// The host side of the tunnel session: the "system" the provider runs in. It
// starts and stops the provider, keeps the status and tells observers of every
// change, carries app messages, installs the provider's settings through the
// diversion backend, and hands the backend's flows to the provider. After a stop
// it closes every flow it handed out that is still open and removes the settings.
class Session : public ProviderHost {
public:
    using StatusObserver = std::function<void(SessionStatus)>;
    using Reply = std::function<void(std::optional<Bytes>)>;

    Session(asio::any_io_executor executor, ConfigurationStore& store, DiversionBackend& diversion);
    ~Session() override;

    void attach(std::weak_ptr<TransparentProxyProvider> provider);

    // START and STOP; each `done` runs once the request was handled (for STOP: when
    // the session is disconnected). Both do nothing when already in that state; a
    // START while disconnecting starts again once the stop is complete.
    void start(std::function<void()> done = {});
    void stop(std::function<void()> done = {});
    SessionStatus status() const;
    // Observers are called on the session's strand; the id removes the observer.
    int addObserver(StatusObserver observer);
    void removeObserver(int id);
    // Sends a provider message; `reply` runs exactly once: with the provider's
    // answer, or with none when the session is not connected, when the session
    // stops first, or when the provider drops its completion handler.
    void sendMessage(Bytes message, Reply reply);

    // ProviderHost
    void setTunnelNetworkSettings(std::optional<TransparentProxyNetworkSettings> settings,
                                  SettingsHandler completionHandler) override;
    std::shared_ptr<const TunnelProviderProtocol> protocolConfiguration() const override;
    // The loop of the calling thread, so that the work a flow starts stays on the
    // loop that delivered it; the session's own executor on other threads.
    asio::any_io_executor executor() const override;
    Error prepareOutboundSocket(int nativeSocket) const override;

    // Flows handed out and not yet released (for tests and diagnostics).
    std::size_t registeredFlowCount() const;

private:
    class PendingReply;

    bool newFlow(std::shared_ptr<AppProxyFlow> flow);
    void setStatus(SessionStatus status);
    void startFinished(std::optional<Failure> failure);
    void beginStop();
    void stopFinished();
    void closeRegisteredFlows();
    void answerPendingMessages();
    void finishStops();
    std::shared_ptr<TransparentProxyProvider> provider() const;

    asio::any_io_executor executor_;
    asio::strand<asio::any_io_executor> strand_;
    ConfigurationStore& store_;
    DiversionBackend& diversion_;
    Logger log_;

    mutable std::mutex lock_;
    std::weak_ptr<TransparentProxyProvider> provider_;
    SessionStatus status_ = SessionStatus::disconnected;
    bool acceptingFlows_ = false;
    bool stopRequested_ = false;
    bool startAfterStop_ = false;
    std::vector<std::weak_ptr<AppProxyFlow>> flows_;
    std::size_t flowPruneMark_ = 64;
    std::map<int, StatusObserver> observers_;
    int nextObserver_ = 1;
    std::vector<std::weak_ptr<PendingReply>> pendingReplies_;
    std::vector<std::function<void()>> stopWaiters_;
    std::shared_ptr<bool> alive_;
};

}  // namespace corvane::platform
