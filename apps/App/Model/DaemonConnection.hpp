#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QObject>

#include "platform/Bytes.hpp"
#include "platform/TransparentProxyConfiguration.hpp"
#include "platform/host/SessionStatus.hpp"

namespace corvane::app {

// The app's side of the daemon: its configuration store (at most one saved
// configuration), the tunnel session with its pushed status, and provider
// messages. Every answer arrives on the main thread, queued, and is dropped when
// its context object is gone. Nothing waits for ever: a lost connection answers
// every open request.
class DaemonConnection : public QObject {
    Q_OBJECT

public:
    using Configuration = platform::TransparentProxyConfiguration;
    // An error: its description; none: success.
    using Failure = std::optional<std::string>;

    // The saved configurations, or why they could not be loaded.
    struct LoadResult {
        std::optional<std::vector<Configuration>> configurations;
        std::string error;
    };
    // The provider's reply (possibly none), or why the message could not be carried.
    struct MessageResult {
        std::optional<platform::Bytes> reply;
        Failure error;
    };

    using QObject::QObject;

    virtual void loadConfigurations(QObject* context, std::function<void(LoadResult)> done) = 0;
    virtual void saveConfiguration(const Configuration& configuration, QObject* context,
                                   std::function<void(Failure)> done) = 0;
    virtual void startTunnel(QObject* context, std::function<void(Failure)> done) = 0;
    // `done` runs once the session is disconnected (or the daemon is gone).
    virtual void stopTunnel(QObject* context, std::function<void()> done) = 0;
    virtual void sendProviderMessage(platform::Bytes message, QObject* context,
                                     std::function<void(MessageResult)> done) = 0;

    // The session status the daemon last reported; invalid without a connection.
    virtual platform::SessionStatus status() const = 0;

signals:
    void statusChanged();
};

}  // namespace corvane::app
