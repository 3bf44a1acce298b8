#pragma once

#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <asio/any_io_executor.hpp>

#include "platform/ProviderHost.hpp"
#include "platform/TransparentProxyProvider.hpp"

namespace corvane::platform::testing {

// The "system" of the in-process backend: a settable configuration, captured
// network settings, and calls into the provider posted to the test's executor.
// Futures returned here are ready once the loop ran the call (runUntilIdle).
class FakeProviderHost : public ProviderHost {
public:
    explicit FakeProviderHost(asio::any_io_executor executor) : executor_(std::move(executor)) {}

    void attach(std::weak_ptr<TransparentProxyProvider> provider);

    // ProviderHost
    void setTunnelNetworkSettings(std::optional<TransparentProxyNetworkSettings> settings,
                                  SettingsHandler completionHandler) override;
    std::shared_ptr<const TunnelProviderProtocol> protocolConfiguration() const override;
    asio::any_io_executor executor() const override { return executor_; }
    Error prepareOutboundSocket(int nativeSocket) const override;

    // Swaps the configuration (none: nothing saved); the provider sees it at once.
    void setConfiguration(std::optional<TunnelProviderProtocol> configuration);
    // Every settings call so far, in order.
    std::vector<std::optional<TransparentProxyNetworkSettings>> settingsCalls() const;
    // Settings calls complete with this failure until it is cleared.
    void failSettingsWith(std::optional<Failure> failure);
    std::vector<int> preparedSockets() const;

    // The system's calls into the provider, each posted to the executor.
    std::future<std::optional<Failure>> startProxy();
    std::future<void> stopProxy();
    // false also when the provider is gone.
    std::future<bool> deliverFlow(std::shared_ptr<AppProxyFlow> flow);
    // The reply; none and empty data stay distinct. A handler the provider drops
    // without calling leaves the future broken (std::future_error on get()).
    std::future<std::optional<Bytes>> appMessage(Bytes message);
    // A message sent without a completion handler.
    void appMessageWithoutReply(Bytes message);

private:
    std::shared_ptr<TransparentProxyProvider> provider() const;

    asio::any_io_executor executor_;
    mutable std::mutex lock_;
    std::weak_ptr<TransparentProxyProvider> provider_;
    std::shared_ptr<const TunnelProviderProtocol> configuration_;
    std::vector<std::optional<TransparentProxyNetworkSettings>> settingsCalls_;
    std::optional<Failure> settingsFailure_;
    mutable std::vector<int> preparedSockets_;
};

}  // namespace corvane::platform::testing
