#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Model/DaemonConnection.hpp"

namespace corvane::app::testing {

// The daemon side played by the test: a store of at most one configuration, the
// session status and the provider's answers. Requests are answered when they
// arrive, or, while `hold` is set, one by one when the test releases them.
// Answers are delivered like the real connection's: queued, to their context.
class FakeDaemonConnection : public DaemonConnection {
    Q_OBJECT

public:
    using Answer = std::function<MessageResult(const platform::Bytes&)>;

    std::optional<Configuration> stored;
    // The daemon's refusals of a load, a save or a start.
    std::optional<std::string> loadError;
    std::optional<std::string> saveError;
    std::optional<std::string> startError;
    // What the provider answers a message (default: no data).
    Answer answer = [](const platform::Bytes&) { return MessageResult{}; };
    // START moves the session to connecting and then, when set, to connected.
    bool reachConnected = true;
    bool hold = false;

    // Every request in arrival order: "load", "save", "start", "stop", "message".
    std::vector<std::string> calls;
    std::vector<Configuration> saves;
    std::vector<platform::Bytes> messages;

    void loadConfigurations(QObject* context, std::function<void(LoadResult)> done) override;
    void saveConfiguration(const Configuration& configuration, QObject* context,
                           std::function<void(Failure)> done) override;
    void startTunnel(QObject* context, std::function<void(Failure)> done) override;
    void stopTunnel(QObject* context, std::function<void()> done) override;
    void sendProviderMessage(platform::Bytes message, QObject* context,
                             std::function<void(MessageResult)> done) override;
    platform::SessionStatus status() const override { return status_; }
    bool connected() const override { return connected_; }

    // Pushes a status change now.
    void pushStatus(platform::SessionStatus status);
    // No daemon answers (`why`: unreachable or notPermitted): every request
    // fails at once, as for a missing or refusing socket. None: a daemon
    // answers again. Says so through connectionChanged.
    void setAbsent(std::optional<DaemonFailure::Kind> why);
    std::size_t held() const { return held_.size(); }
    // Answers the oldest held request.
    void releaseOne();
    // The daemon goes away: every held request fails (a message gets no reply),
    // the status becomes invalid and the connection is closed. Later requests
    // are answered as by a daemon that came back at once.
    void dropConnection();

    static std::string lostText() { return "The connection to the tunnel daemon was lost."; }
    static std::string absentText() {
        return "Could not reach the tunnel daemon at /run/corvane/control.sock: No such file or directory";
    }

private:
    struct Request {
        std::function<void()> answer;
        std::function<void()> lost;
    };
    void arrive(Request request);
    void setConnected(bool connected);
    DaemonFailure failure() const;

    std::deque<Request> held_;
    platform::SessionStatus status_ = platform::SessionStatus::invalid;
    std::optional<DaemonFailure::Kind> absent_;
    bool connected_ = true;
};

}  // namespace corvane::app::testing
