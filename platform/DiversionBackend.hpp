#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/AppProxyFlow.hpp"
#include "platform/Error.hpp"
#include "platform/Failure.hpp"
#include "platform/TransparentProxyNetworkSettings.hpp"

namespace corvane::platform {

// The part of the host that really diverts traffic (nftables and friends on Linux,
// a fake in tests). The session installs and removes settings through it and gets
// every diverted flow from it.
class DiversionBackend {
public:
    // Decides one new flow on a thread of the host's pool: true when the provider
    // took it over, false when the backend must carry it itself (pass-through).
    using FlowHandler = std::function<bool(std::shared_ptr<AppProxyFlow>)>;
    // The diversion stopped working on its own (for instance its nftables child
    // died); the session ends.
    using LossHandler = std::function<void(const Failure&)>;

    virtual ~DiversionBackend() = default;

    // Called once before any settings are applied: listeners open, flows start
    // arriving at `newFlow` as soon as settings are installed.
    virtual void start(FlowHandler newFlow, LossHandler lost) = 0;
    // Installs or replaces the settings; none removes them. Completes once, on any thread.
    virtual void applySettings(std::optional<TransparentProxyNetworkSettings> settings,
                               std::function<void(std::optional<Failure>)> completionHandler) = 0;
    // Marks an outbound socket of the daemon so that the diversion skips it.
    virtual Error prepareOutboundSocket(int nativeSocket) = 0;
};

}  // namespace corvane::platform
