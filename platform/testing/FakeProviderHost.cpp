#include "platform/testing/FakeProviderHost.hpp"

#include <asio/post.hpp>

namespace corvane::platform::testing {

void FakeProviderHost::attach(std::weak_ptr<TransparentProxyProvider> provider) {
    std::lock_guard guard(lock_);
    provider_ = std::move(provider);
}

std::shared_ptr<TransparentProxyProvider> FakeProviderHost::provider() const {
    std::lock_guard guard(lock_);
    return provider_.lock();
}

void FakeProviderHost::setTunnelNetworkSettings(std::optional<TransparentProxyNetworkSettings> settings,
                                                SettingsHandler completionHandler) {
    std::optional<Failure> failure;
    {
        std::lock_guard guard(lock_);
        settingsCalls_.push_back(std::move(settings));
        failure = settingsFailure_;
    }
    asio::post(executor_, [completionHandler = std::move(completionHandler), failure] {
        if (completionHandler) completionHandler(failure);
    });
}

std::shared_ptr<const TunnelProviderProtocol> FakeProviderHost::protocolConfiguration() const {
    std::lock_guard guard(lock_);
    return configuration_;
}

Error FakeProviderHost::prepareOutboundSocket(int nativeSocket) const {
    std::lock_guard guard(lock_);
    preparedSockets_.push_back(nativeSocket);
    return {};
}

void FakeProviderHost::setConfiguration(std::optional<TunnelProviderProtocol> configuration) {
    std::shared_ptr<const TunnelProviderProtocol> shared;
    if (configuration) shared = std::make_shared<const TunnelProviderProtocol>(std::move(*configuration));
    std::lock_guard guard(lock_);
    configuration_ = std::move(shared);
}

std::vector<std::optional<TransparentProxyNetworkSettings>> FakeProviderHost::settingsCalls() const {
    std::lock_guard guard(lock_);
    return settingsCalls_;
}

void FakeProviderHost::failSettingsWith(std::optional<Failure> failure) {
    std::lock_guard guard(lock_);
    settingsFailure_ = std::move(failure);
}

std::vector<int> FakeProviderHost::preparedSockets() const {
    std::lock_guard guard(lock_);
    return preparedSockets_;
}

std::future<std::optional<Failure>> FakeProviderHost::startProxy() {
    auto promise = std::make_shared<std::promise<std::optional<Failure>>>();
    auto future = promise->get_future();
    asio::post(executor_, [this, promise] {
        if (auto p = provider()) {
            p->startProxy([promise](std::optional<Failure> failure) { promise->set_value(std::move(failure)); });
        }
    });
    return future;
}

std::future<void> FakeProviderHost::stopProxy() {
    auto promise = std::make_shared<std::promise<void>>();
    auto future = promise->get_future();
    asio::post(executor_, [this, promise] {
        if (auto p = provider()) p->stopProxy([promise] { promise->set_value(); });
    });
    return future;
}

std::future<bool> FakeProviderHost::deliverFlow(std::shared_ptr<AppProxyFlow> flow) {
    auto promise = std::make_shared<std::promise<bool>>();
    auto future = promise->get_future();
    asio::post(executor_, [this, promise, flow = std::move(flow)] {
        auto p = provider();
        promise->set_value(p ? p->handleNewFlow(flow) : false);
    });
    return future;
}

std::future<std::optional<Bytes>> FakeProviderHost::appMessage(Bytes message) {
    auto promise = std::make_shared<std::promise<std::optional<Bytes>>>();
    auto future = promise->get_future();
    asio::post(executor_, [this, promise, message = std::move(message)]() mutable {
        if (auto p = provider()) {
            p->handleAppMessage(std::move(message),
                                [promise](std::optional<Bytes> reply) { promise->set_value(std::move(reply)); });
        }
    });
    return future;
}

void FakeProviderHost::appMessageWithoutReply(Bytes message) {
    asio::post(executor_, [this, message = std::move(message)]() mutable {
        if (auto p = provider()) p->handleAppMessage(std::move(message), nullptr);
    });
}

}  // namespace corvane::platform::testing
