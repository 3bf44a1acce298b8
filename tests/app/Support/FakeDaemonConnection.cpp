#include "FakeDaemonConnection.hpp"

#include "Model/MainThread.hpp"

namespace corvane::app::testing {

using platform::SessionStatus;

namespace {

DaemonFailure lost() { return {DaemonFailure::Kind::unreachable, FakeDaemonConnection::lostText()}; }
DaemonFailure refused(const std::string& text) { return {DaemonFailure::Kind::refused, text}; }

}  // namespace

void FakeDaemonConnection::arrive(Request request) {
    if (absent_) return request.lost();
    if (hold) return held_.push_back(std::move(request));
    request.answer();
}

void FakeDaemonConnection::setAbsent(std::optional<DaemonFailure::Kind> why) {
    absent_ = why;
    if (why) pushStatus(SessionStatus::invalid);
    setConnected(!why);
}

void FakeDaemonConnection::setConnected(bool connected) {
    if (connected == connected_) return;
    connected_ = connected;
    emit connectionChanged();
}

void FakeDaemonConnection::releaseOne() {
    if (held_.empty()) return;
    Request request = std::move(held_.front());
    held_.pop_front();
    request.answer();
}

void FakeDaemonConnection::dropConnection() {
    auto held = std::move(held_);
    held_.clear();
    for (Request& request : held) request.lost();
    pushStatus(SessionStatus::invalid);
    setConnected(false);
}

// Why a request did not reach a daemon: none there, or the connection went.
DaemonFailure FakeDaemonConnection::failure() const {
    if (!absent_) return lost();
    return {*absent_, *absent_ == DaemonFailure::Kind::notPermitted
                          ? "Could not reach the tunnel daemon at /run/corvane/control.sock: Permission denied"
                          : absentText()};
}

void FakeDaemonConnection::pushStatus(SessionStatus status) {
    if (status == status_) return;
    status_ = status;
    emit statusChanged();
}

void FakeDaemonConnection::loadConfigurations(QObject* context, std::function<void(LoadResult)> done) {
    calls.push_back("load");
    auto deliver = MainThread::bind<LoadResult>(context, std::move(done));
    arrive({[this, deliver] {
                if (loadError) return deliver(LoadResult{std::nullopt, refused(*loadError)});
                std::vector<Configuration> list;
                if (stored) list.push_back(*stored);
                deliver(LoadResult{list, {}});
            },
            [this, deliver] { deliver(LoadResult{std::nullopt, failure()}); }});
}

void FakeDaemonConnection::saveConfiguration(const Configuration& configuration, QObject* context,
                                             std::function<void(Failure)> done) {
    calls.push_back("save");
    auto deliver = MainThread::bind<Failure>(context, std::move(done));
    arrive({[this, deliver, configuration] {
                saves.push_back(configuration);
                if (saveError) return deliver(refused(*saveError));
                stored = configuration;
                deliver(std::nullopt);
            },
            [this, deliver] { deliver(failure()); }});
}

void FakeDaemonConnection::startTunnel(QObject* context, std::function<void(Failure)> done) {
    calls.push_back("start");
    auto deliver = MainThread::bind<Failure>(context, std::move(done));
    arrive({[this, deliver] {
                if (startError) return deliver(refused(*startError));
                if (status_ != SessionStatus::connected) {
                    pushStatus(SessionStatus::connecting);
                    if (reachConnected) MainThread::post(this, [this] { pushStatus(SessionStatus::connected); });
                }
                deliver(std::nullopt);
            },
            [this, deliver] { deliver(failure()); }});
}

void FakeDaemonConnection::stopTunnel(QObject* context, std::function<void()> done) {
    calls.push_back("stop");
    auto deliver = MainThread::bind<>(context, std::move(done));
    arrive({[this, deliver] {
                pushStatus(SessionStatus::disconnected);
                deliver();
            },
            [deliver] { deliver(); }});
}

void FakeDaemonConnection::sendProviderMessage(platform::Bytes message, QObject* context,
                                               std::function<void(MessageResult)> done) {
    calls.push_back("message");
    messages.push_back(message);
    auto deliver = MainThread::bind<MessageResult>(context, std::move(done));
    arrive({[this, deliver, message] { deliver(answer(message)); },
            [this, deliver] { deliver(MessageResult{std::nullopt, failure()}); }});
}

}  // namespace corvane::app::testing
