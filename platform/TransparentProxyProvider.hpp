#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/AppProxyFlow.hpp"
#include "platform/Bytes.hpp"
#include "platform/Failure.hpp"
#include "platform/ProviderHost.hpp"

namespace corvane::platform {

// The base of a transparent-proxy provider. The host calls the four entry points
// on threads of its pool, possibly at the same time; none of them may block.
class TransparentProxyProvider {
public:
    using StartHandler = std::function<void(std::optional<Failure>)>;
    using StopHandler = std::function<void()>;
    using MessageHandler = std::function<void(std::optional<Bytes>)>;

    explicit TransparentProxyProvider(ProviderHost& host) : host_(host) {}
    virtual ~TransparentProxyProvider() = default;
    TransparentProxyProvider(const TransparentProxyProvider&) = delete;
    TransparentProxyProvider& operator=(const TransparentProxyProvider&) = delete;

    // Once per session start; the handler gets the failure that prevents it, or none.
    virtual void startProxy(StartHandler completionHandler) = 0;
    // After the handler the host closes every flow it handed out that is still open.
    virtual void stopProxy(StopHandler completionHandler) = 0;
    // True: the provider takes the flow over; false: the system carries it itself.
    virtual bool handleNewFlow(std::shared_ptr<AppProxyFlow> flow) = 0;
    // The handler may be empty (the sender wants no reply); call it at most once.
    virtual void handleAppMessage(Bytes messageData, MessageHandler completionHandler) = 0;

protected:
    void setTunnelNetworkSettings(std::optional<TransparentProxyNetworkSettings> settings,
                                  ProviderHost::SettingsHandler completionHandler) {
        host_.setTunnelNetworkSettings(std::move(settings), std::move(completionHandler));
    }
    std::shared_ptr<const TunnelProviderProtocol> protocolConfiguration() const {
        return host_.protocolConfiguration();
    }
    ProviderHost& host() const { return host_; }

private:
    ProviderHost& host_;
};

}  // namespace corvane::platform
