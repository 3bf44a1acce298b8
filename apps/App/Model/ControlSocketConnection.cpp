#include "ControlSocketConnection.hpp"

#include "MainThread.hpp"

namespace corvane::app {

using platform::ControlClient;
using platform::SessionStatus;

ControlSocketConnection::ControlSocketConnection(asio::any_io_executor executor, std::filesystem::path socketPath,
                                                 QObject* parent)
    : DaemonConnection(parent), executor_(std::move(executor)), socketPath_(std::move(socketPath)) {}

ControlSocketConnection::~ControlSocketConnection() {
    if (client_) client_->close();
}

std::string ControlSocketConnection::lostConnectionText() {
    return "The connection to the tunnel daemon was lost.";
}

void ControlSocketConnection::withClient(Use use) {
    if (client_ && !connecting_) return use(client_, {});
    if (waiting_.size() >= kMaxWaitingRequests) {
        return use(nullptr, "Too many requests are waiting for the tunnel daemon.");
    }
    waiting_.push_back(std::move(use));
    if (connecting_) return;
    connecting_ = true;
    client_ = ControlClient::create(executor_);
    const std::uint64_t generation = ++generation_;
    client_->setStatusHandler(MainThread::bind<SessionStatus>(this, [this, generation](SessionStatus status) {
        if (generation == generation_) setStatus(status);
    }));
    client_->setDisconnectHandler(MainThread::bind<>(this, [this, generation] { dropped(generation); }));
    client_->connect(socketPath_, MainThread::bind<platform::Error>(this, [this, generation](platform::Error error) {
        connected(generation, error);
    }));
}

void ControlSocketConnection::connected(std::uint64_t generation, platform::Error error) {
    if (generation != generation_) return;
    connecting_ = false;
    std::string failure;
    if (error) {
        client_.reset();
        failure = "Could not reach the tunnel daemon at " + socketPath_.string() + ": " + error.message();
    } else {
        client_->subscribe(MainThread::bind<std::optional<SessionStatus>>(
            this, [this, generation](std::optional<SessionStatus> status) {
                if (status && generation == generation_) setStatus(*status);
            }));
    }
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (auto& use : waiting) use(client_, failure);
}

void ControlSocketConnection::dropped(std::uint64_t generation) {
    if (generation != generation_ || !client_) return;
    client_.reset();
    connecting_ = false;
    setStatus(SessionStatus::invalid);
}

void ControlSocketConnection::setStatus(SessionStatus status) {
    if (status == status_) return;
    status_ = status;
    emit statusChanged();
}

void ControlSocketConnection::loadConfigurations(QObject* context, std::function<void(LoadResult)> done) {
    auto deliver = MainThread::bind<LoadResult>(context, std::move(done));
    withClient([deliver](Client client, std::string failure) {
        if (!client) return deliver(LoadResult{std::nullopt, failure});
        client->loadConfigurations([deliver](ControlClient::LoadResult result) {
            deliver(LoadResult{std::move(result.configurations), std::move(result.error)});
        });
    });
}

void ControlSocketConnection::saveConfiguration(const Configuration& configuration, QObject* context,
                                                std::function<void(Failure)> done) {
    auto deliver = MainThread::bind<Failure>(context, std::move(done));
    withClient([deliver, configuration](Client client, std::string failure) {
        if (!client) return deliver(failure);
        client->saveConfiguration(configuration, deliver);
    });
}

void ControlSocketConnection::startTunnel(QObject* context, std::function<void(Failure)> done) {
    auto deliver = MainThread::bind<Failure>(context, std::move(done));
    withClient([deliver](Client client, std::string failure) {
        if (!client) return deliver(failure);
        client->start([deliver](bool handled) { deliver(handled ? Failure{} : lostConnectionText()); });
    });
}

void ControlSocketConnection::stopTunnel(QObject* context, std::function<void()> done) {
    auto deliver = MainThread::bind<>(context, std::move(done));
    withClient([deliver](Client client, std::string) {
        if (!client) return deliver();
        client->stop([deliver](bool) { deliver(); });
    });
}

void ControlSocketConnection::sendProviderMessage(platform::Bytes message, QObject* context,
                                                  std::function<void(MessageResult)> done) {
    auto deliver = MainThread::bind<MessageResult>(context, std::move(done));
    withClient([deliver, message = std::move(message)](Client client, std::string failure) mutable {
        if (!client) return deliver(MessageResult{std::nullopt, failure});
        client->request(platform::ControlKind::message, std::move(message),
                        [deliver](std::optional<ControlClient::Reply> reply) {
                            if (!reply) return deliver(MessageResult{std::nullopt, lostConnectionText()});
                            if (!reply->flag) return deliver(MessageResult{});
                            deliver(MessageResult{std::move(reply->data), std::nullopt});
                        });
    });
}

}  // namespace corvane::app
