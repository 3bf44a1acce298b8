#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <asio/any_io_executor.hpp>

#include "platform/Error.hpp"
#include "platform/Failure.hpp"
#include "platform/TransparentProxyNetworkSettings.hpp"
#include "platform/TunnelProviderProtocol.hpp"

namespace corvane::platform {

// What the system offers a provider: the network settings, the saved configuration,
// the executor its work runs on and the marking of its own outbound sockets.
class ProviderHost {
public:
    using SettingsHandler = std::function<void(std::optional<Failure>)>;

    virtual ~ProviderHost() = default;

    // Installs (or, with none, removes) the diversion. The completion is called once,
    // also when the provider that asked is gone.
    virtual void setTunnelNetworkSettings(std::optional<TransparentProxyNetworkSettings> settings,
                                          SettingsHandler completionHandler) = 0;
    // The saved configuration's protocol at this moment; null when none is saved.
    virtual std::shared_ptr<const TunnelProviderProtocol> protocolConfiguration() const = 0;
    // The executor the provider's strands and tasks live on. Called while a flow is
    // being handed over, it is that flow's own loop.
    virtual asio::any_io_executor executor() const = 0;
    // Makes a socket the provider opens bypass the diversion (native descriptor).
    virtual Error prepareOutboundSocket(int nativeSocket) const = 0;
};

}  // namespace corvane::platform
