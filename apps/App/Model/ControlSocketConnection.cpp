#include "ControlSocketConnection.hpp"

#include <cerrno>

#include "MainThread.hpp"

namespace corvane::app {

using platform::ControlClient;
using platform::SessionStatus;
using Kind = DaemonFailure::Kind;

namespace {

// A request that failed on a connection still open was refused by the daemon;
// on one that dropped, the daemon went away. Called on the client's strand.
DaemonFailure answered(const ControlClient& client, std::string description) {
    return {client.isOpen() ? Kind::refused : Kind::unreachable, std::move(description)};
}

}  // namespace

ControlSocketConnection::ControlSocketConnection(asio::any_io_executor executor, std::filesystem::path socketPath,
                                                 std::chrono::milliseconds reconnectInterval, QObject* parent)
    : DaemonConnection(parent), executor_(std::move(executor)), socketPath_(std::move(socketPath)) {
    reconnect_.setSingleShot(true);
    reconnect_.setInterval(reconnectInterval);
    connect(&reconnect_, &QTimer::timeout, this, [this] {
        if (!client_) withClient([](Client, DaemonFailure) {});
    });
}

ControlSocketConnection::~ControlSocketConnection() {
    if (client_) client_->close();
}

std::string ControlSocketConnection::lostConnectionText() {
    return "The connection to the tunnel daemon was lost.";
}

void ControlSocketConnection::withClient(Use use) {
    if (client_ && !connecting_) return use(client_, {});
    if (waiting_.size() >= kMaxWaitingRequests) {
        return use(nullptr, {Kind::unreachable, "Too many requests are waiting for the tunnel daemon."});
    }
    waiting_.push_back(std::move(use));
    if (connecting_) return;
    connecting_ = true;
    reconnect_.stop();
    client_ = ControlClient::create(executor_);
    const std::uint64_t generation = ++generation_;
    client_->setStatusHandler(MainThread::bind<SessionStatus>(this, [this, generation](SessionStatus status) {
        if (generation == generation_) setStatus(status);
    }));
    client_->setDisconnectHandler(MainThread::bind<>(this, [this, generation] { dropped(generation); }));
    client_->connect(socketPath_, MainThread::bind<platform::Error>(this, [this, generation](platform::Error error) {
        opened(generation, error);
    }));
}

void ControlSocketConnection::opened(std::uint64_t generation, platform::Error error) {
    if (generation != generation_) return;
    connecting_ = false;
    DaemonFailure failure;
    if (error) {
        client_.reset();
        const int code = platform::posixCode(error).value_or(0);
        failure = {code == EACCES || code == EPERM ? Kind::notPermitted : Kind::unreachable,
                   "Could not reach the tunnel daemon at " + socketPath_.string() + ": " + error.message()};
        reconnect_.start();
    } else {
        client_->subscribe(MainThread::bind<std::optional<SessionStatus>>(
            this, [this, generation](std::optional<SessionStatus> status) {
                if (status && generation == generation_) setStatus(*status);
            }));
    }
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (auto& use : waiting) use(client_, failure);
    if (!error) emit connectionChanged();
}

void ControlSocketConnection::dropped(std::uint64_t generation) {
    if (generation != generation_ || !client_) return;
    const bool wasConnected = !connecting_;
    client_.reset();
    connecting_ = false;
    setStatus(SessionStatus::invalid);
    reconnect_.start();
    if (wasConnected) emit connectionChanged();
}

void ControlSocketConnection::setStatus(SessionStatus status) {
    if (status == status_) return;
    status_ = status;
    emit statusChanged();
}

void ControlSocketConnection::loadConfigurations(QObject* context, std::function<void(LoadResult)> done) {
    auto deliver = MainThread::bind<LoadResult>(context, std::move(done));
    withClient([deliver](Client client, DaemonFailure failure) {
        if (!client) return deliver(LoadResult{std::nullopt, failure});
        client->loadConfigurations([deliver, client](ControlClient::LoadResult result) {
            if (result.configurations) return deliver(LoadResult{std::move(result.configurations), {}});
            deliver(LoadResult{std::nullopt, answered(*client, std::move(result.error))});
        });
    });
}

void ControlSocketConnection::saveConfiguration(const Configuration& configuration, QObject* context,
                                                std::function<void(Failure)> done) {
    auto deliver = MainThread::bind<Failure>(context, std::move(done));
    withClient([deliver, configuration](Client client, DaemonFailure failure) {
        if (!client) return deliver(failure);
        client->saveConfiguration(configuration, [deliver, client](std::optional<std::string> error) {
            if (!error) return deliver(std::nullopt);
            deliver(answered(*client, std::move(*error)));
        });
    });
}

void ControlSocketConnection::startTunnel(QObject* context, std::function<void(Failure)> done) {
    auto deliver = MainThread::bind<Failure>(context, std::move(done));
    withClient([deliver](Client client, DaemonFailure failure) {
        if (!client) return deliver(failure);
        client->start([deliver, client](bool handled) {
            if (handled) return deliver(std::nullopt);
            deliver(answered(*client, client->isOpen() ? "The tunnel daemon could not start the tunnel."
                                                       : lostConnectionText()));
        });
    });
}

void ControlSocketConnection::stopTunnel(QObject* context, std::function<void()> done) {
    auto deliver = MainThread::bind<>(context, std::move(done));
    withClient([deliver](Client client, DaemonFailure) {
        if (!client) return deliver();
        client->stop([deliver](bool) { deliver(); });
    });
}

void ControlSocketConnection::sendProviderMessage(platform::Bytes message, QObject* context,
                                                  std::function<void(MessageResult)> done) {
    auto deliver = MainThread::bind<MessageResult>(context, std::move(done));
    withClient([deliver, message = std::move(message)](Client client, DaemonFailure failure) mutable {
        if (!client) return deliver(MessageResult{std::nullopt, failure});
        client->request(platform::ControlKind::message, std::move(message),
                        [deliver](std::optional<ControlClient::Reply> reply) {
                            if (!reply) {
                                return deliver(MessageResult{std::nullopt, DaemonFailure{Kind::unreachable,
                                                                                         lostConnectionText()}});
                            }
                            if (!reply->flag) return deliver(MessageResult{});
                            deliver(MessageResult{std::move(reply->data), std::nullopt});
                        });
    });
}

}  // namespace corvane::app
