#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include <asio/any_io_executor.hpp>

#include "platform/DiversionBackend.hpp"

namespace corvane::platform::testing {

// A diversion that diverts nothing by itself: it records the settings it was
// given, completes them with a scripted failure, and lets the test hand flows to
// the host as the real backend would.
class FakeDiversionBackend : public DiversionBackend {
public:
    explicit FakeDiversionBackend(asio::any_io_executor executor) : executor_(std::move(executor)) {}

    void start(FlowHandler newFlow, LossHandler lost) override;
    void applySettings(std::optional<TransparentProxyNetworkSettings> settings,
                       std::function<void(std::optional<Failure>)> completionHandler) override;
    Error prepareOutboundSocket(int nativeSocket) override;

    bool started() const;
    // Every applySettings call in order; the settings currently installed.
    std::vector<std::optional<TransparentProxyNetworkSettings>> settingsCalls() const;
    std::optional<TransparentProxyNetworkSettings> installed() const;
    void failSettingsWith(std::optional<Failure> failure);
    // Hands a flow to the host now, on the caller's thread; the host's answer.
    bool divert(std::shared_ptr<AppProxyFlow> flow);
    // The flows the host declined (the real backend would pass them through).
    std::vector<std::shared_ptr<AppProxyFlow>> passedThrough() const;
    void loseDiversion(const Failure& failure);

private:
    asio::any_io_executor executor_;
    mutable std::mutex lock_;
    FlowHandler newFlow_;
    LossHandler lost_;
    std::vector<std::optional<TransparentProxyNetworkSettings>> settingsCalls_;
    std::optional<TransparentProxyNetworkSettings> installed_;
    std::optional<Failure> failure_;
    std::vector<std::shared_ptr<AppProxyFlow>> passedThrough_;
};

}  // namespace corvane::platform::testing
