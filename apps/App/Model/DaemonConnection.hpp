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

// Why a request to the daemon failed, and its description.
struct DaemonFailure {
    enum class Kind {
        // No daemon answers: no socket, nobody listening on it, or the
        // connection was lost on the way. Not installed or not running.
        unreachable,
        // The socket refuses this account: only root and members of the group
        // "corvane" may use it.
        notPermitted,
        // The daemon answered and refused the request.
        refused,
    };

    Kind kind = Kind::refused;
    std::string description;

    friend bool operator==(const DaemonFailure&, const DaemonFailure&) = default;
};

// The app's side of the daemon: its configuration store (at most one saved
// configuration), the tunnel session with its pushed status, and provider
// messages. Every answer arrives on the main thread, queued, and is dropped when
// its context object is gone. Nothing waits for ever: a lost connection answers
// every open request. While no connection is open it tries again now and then,
// and says when a connection opens or drops.
class DaemonConnection : public QObject {
    Q_OBJECT

public:
    using Configuration = platform::TransparentProxyConfiguration;
    // None: success.
    using Failure = std::optional<DaemonFailure>;

    // The saved configurations, or why they could not be loaded.
    struct LoadResult {
        std::optional<std::vector<Configuration>> configurations;
        DaemonFailure error;
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
    // Whether a connection to the daemon is open.
    virtual bool connected() const = 0;

signals:
    void statusChanged();
    // A connection opened, or the open one dropped.
    void connectionChanged();
};

}  // namespace corvane::app
