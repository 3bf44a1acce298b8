#include "platform/testing/FakeDiversionBackend.hpp"

#include <asio/post.hpp>

namespace corvane::platform::testing {

void FakeDiversionBackend::start(FlowHandler newFlow, LossHandler lost) {
    std::lock_guard guard(lock_);
    newFlow_ = std::move(newFlow);
    lost_ = std::move(lost);
}

void FakeDiversionBackend::applySettings(std::optional<TransparentProxyNetworkSettings> settings,
                                         std::function<void(std::optional<Failure>)> completionHandler) {
    std::optional<Failure> failure;
    {
        std::lock_guard guard(lock_);
        settingsCalls_.push_back(settings);
        failure = failure_;
        if (!failure) installed_ = std::move(settings);
    }
    asio::post(executor_, [completionHandler = std::move(completionHandler), failure] {
        completionHandler(failure);
    });
}

Error FakeDiversionBackend::prepareOutboundSocket(int) {
    return {};
}

bool FakeDiversionBackend::started() const {
    std::lock_guard guard(lock_);
    return static_cast<bool>(newFlow_);
}

std::vector<std::optional<TransparentProxyNetworkSettings>> FakeDiversionBackend::settingsCalls() const {
    std::lock_guard guard(lock_);
    return settingsCalls_;
}

std::optional<TransparentProxyNetworkSettings> FakeDiversionBackend::installed() const {
    std::lock_guard guard(lock_);
    return installed_;
}

void FakeDiversionBackend::failSettingsWith(std::optional<Failure> failure) {
    std::lock_guard guard(lock_);
    failure_ = std::move(failure);
}

bool FakeDiversionBackend::divert(std::shared_ptr<AppProxyFlow> flow) {
    FlowHandler handler;
    {
        std::lock_guard guard(lock_);
        handler = newFlow_;
    }
    bool taken = handler && handler(flow);
    if (!taken) {
        std::lock_guard guard(lock_);
        passedThrough_.push_back(std::move(flow));
    }
    return taken;
}

std::vector<std::shared_ptr<AppProxyFlow>> FakeDiversionBackend::passedThrough() const {
    std::lock_guard guard(lock_);
    return passedThrough_;
}

void FakeDiversionBackend::loseDiversion(const Failure& failure) {
    LossHandler handler;
    {
        std::lock_guard guard(lock_);
        handler = lost_;
    }
    if (handler) handler(failure);
}

}  // namespace corvane::platform::testing
