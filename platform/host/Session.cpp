#include "platform/host/Session.hpp"

#include "platform/host/EventLoops.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>

#include <asio/post.hpp>

namespace corvane::platform {

// One provider message waiting for its answer. Whoever answers first wins; when
// the provider drops its handler unanswered, the destructor answers none.
class Session::PendingReply {
public:
    explicit PendingReply(Reply reply) : reply_(std::move(reply)) {}
    ~PendingReply() { answer(std::nullopt); }

    void answer(std::optional<Bytes> data) {
        if (answered_.exchange(true)) return;
        reply_(std::move(data));
    }

private:
    Reply reply_;
    std::atomic<bool> answered_{false};
};

Session::Session(asio::any_io_executor executor, ConfigurationStore& store, DiversionBackend& diversion)
    : executor_(executor),
      strand_(asio::make_strand(executor)),
      store_(store),
      diversion_(diversion),
      log_("corvane-tunnel", "session"),
      alive_(std::make_shared<bool>(true)) {
    std::weak_ptr<bool> alive = alive_;
    diversion_.start([this, alive](std::shared_ptr<AppProxyFlow> flow) { return alive.lock() && newFlow(std::move(flow)); },
                     [this, alive](const Failure& failure) {
                         if (!alive.lock()) return;
                         log_.error("Diversion lost: %{public}s", {LogArg::publicText(failure.description)});
                         stop();
                     });
}

Session::~Session() = default;

void Session::attach(std::weak_ptr<TransparentProxyProvider> provider) {
    std::lock_guard guard(lock_);
    provider_ = std::move(provider);
}

std::shared_ptr<TransparentProxyProvider> Session::provider() const {
    std::lock_guard guard(lock_);
    return provider_.lock();
}

SessionStatus Session::status() const {
    std::lock_guard guard(lock_);
    return status_;
}

int Session::addObserver(StatusObserver observer) {
    std::lock_guard guard(lock_);
    observers_[nextObserver_] = std::move(observer);
    return nextObserver_++;
}

void Session::removeObserver(int id) {
    std::lock_guard guard(lock_);
    observers_.erase(id);
}

// On the strand.
void Session::setStatus(SessionStatus status) {
    std::vector<StatusObserver> observers;
    {
        std::lock_guard guard(lock_);
        if (status_ == status) return;
        status_ = status;
        for (const auto& [id, observer] : observers_) observers.push_back(observer);
    }
    for (const auto& observer : observers) observer(status);
}

void Session::start(std::function<void()> done) {
    asio::post(strand_, [this, done = std::move(done)] {
        if (status() == SessionStatus::disconnecting) {
            std::lock_guard guard(lock_);
            startAfterStop_ = true;
        } else if (status() == SessionStatus::disconnected) {
            auto p = provider();
            {
                std::lock_guard guard(lock_);
                acceptingFlows_ = true;
                stopRequested_ = false;
            }
            setStatus(SessionStatus::connecting);
            std::weak_ptr<bool> alive = alive_;
            asio::post(executor_, [this, p, alive] {
                auto finished = [this, alive](std::optional<Failure> failure) {
                    if (!alive.lock()) return;
                    asio::post(strand_, [this, failure] { startFinished(failure); });
                };
                if (!p) return finished(Failure{posixError(ESRCH), "No provider is running."});
                p->startProxy(std::move(finished));
            });
        }
        if (done) done();
    });
}

// On the strand.
void Session::startFinished(std::optional<Failure> failure) {
    if (failure) {
        log_.error("Session start failed: %{public}s", {LogArg::publicText(failure->description)});
        {
            std::lock_guard guard(lock_);
            acceptingFlows_ = false;
        }
        closeRegisteredFlows();
        diversion_.applySettings(std::nullopt, [this, alive = std::weak_ptr<bool>(alive_)](std::optional<Failure>) {
            if (!alive.lock()) return;
            asio::post(strand_, [this] {
                setStatus(SessionStatus::disconnected);
                finishStops();
            });
        });
        return;
    }
    setStatus(SessionStatus::connected);
    bool stopNow = false;
    {
        std::lock_guard guard(lock_);
        stopNow = stopRequested_;
    }
    if (stopNow) beginStop();
}

void Session::stop(std::function<void()> done) {
    asio::post(strand_, [this, done = std::move(done)] {
        const SessionStatus now = status();
        if (now == SessionStatus::disconnected) {
            if (done) done();
            return;
        }
        {
            std::lock_guard guard(lock_);
            if (done) stopWaiters_.push_back(std::move(done));
            stopRequested_ = true;
            startAfterStop_ = false;
        }
        if (now == SessionStatus::connected) beginStop();
    });
}

// On the strand, from connected.
void Session::beginStop() {
    setStatus(SessionStatus::disconnecting);
    answerPendingMessages();
    auto p = provider();
    std::weak_ptr<bool> alive = alive_;
    auto finished = [this, alive] {
        if (!alive.lock()) return;
        asio::post(strand_, [this] { stopFinished(); });
    };
    if (!p) return finished();
    asio::post(executor_, [p, finished] { p->stopProxy(finished); });
}

// On the strand: the provider has stopped.
void Session::stopFinished() {
    {
        std::lock_guard guard(lock_);
        acceptingFlows_ = false;
    }
    closeRegisteredFlows();
    diversion_.applySettings(std::nullopt, [this, alive = std::weak_ptr<bool>(alive_)](std::optional<Failure> failure) {
        if (!alive.lock()) return;
        if (failure) log_.error("Could not remove the diversion: %{public}s", {LogArg::publicText(failure->description)});
        asio::post(strand_, [this] {
            setStatus(SessionStatus::disconnected);
            finishStops();
        });
    });
}

void Session::finishStops() {
    std::vector<std::function<void()>> waiters;
    bool startAgain = false;
    {
        std::lock_guard guard(lock_);
        waiters.swap(stopWaiters_);
        stopRequested_ = false;
        startAgain = std::exchange(startAfterStop_, false);
    }
    for (auto& waiter : waiters) waiter();
    if (startAgain) start();
}

// What the system does after a stop: every flow it handed out is invalidated, also
// those the provider never finished (set-up still running).
void Session::closeRegisteredFlows() {
    std::vector<std::weak_ptr<AppProxyFlow>> flows;
    {
        std::lock_guard guard(lock_);
        flows.swap(flows_);
    }
    for (auto& weak : flows) {
        if (auto flow = weak.lock()) {
            flow->closeRead(posixError(ECONNABORTED));
            flow->closeWrite(posixError(ECONNABORTED));
        }
    }
}

bool Session::newFlow(std::shared_ptr<AppProxyFlow> flow) {
    std::shared_ptr<TransparentProxyProvider> p;
    {
        std::lock_guard guard(lock_);
        if (!acceptingFlows_) return false;
        p = provider_.lock();
        if (!p) return false;
        if (flows_.size() >= flowPruneMark_) {
            std::erase_if(flows_, [](const auto& weak) { return weak.expired(); });
            flowPruneMark_ = std::max<std::size_t>(64, flows_.size() * 2);
        }
        flows_.push_back(flow);
    }
    const bool taken = p->handleNewFlow(flow);
    if (!taken) {
        std::lock_guard guard(lock_);
        std::erase_if(flows_, [&](const auto& weak) { return weak.expired() || weak.lock() == flow; });
    }
    return taken;
}

std::size_t Session::registeredFlowCount() const {
    std::lock_guard guard(lock_);
    return static_cast<std::size_t>(
        std::count_if(flows_.begin(), flows_.end(), [](const auto& weak) { return !weak.expired(); }));
}

void Session::sendMessage(Bytes message, Reply reply) {
    auto pending = std::make_shared<PendingReply>(std::move(reply));
    asio::post(strand_, [this, message = std::move(message), pending]() mutable {
        auto p = provider();
        if (status() != SessionStatus::connected || !p) return pending->answer(std::nullopt);
        {
            std::lock_guard guard(lock_);
            std::erase_if(pendingReplies_, [](const auto& weak) { return weak.expired(); });
            pendingReplies_.push_back(pending);
        }
        asio::post(executor_, [p, message = std::move(message), pending]() mutable {
            p->handleAppMessage(std::move(message),
                                [pending](std::optional<Bytes> data) { pending->answer(std::move(data)); });
        });
    });
}

void Session::answerPendingMessages() {
    std::vector<std::weak_ptr<PendingReply>> pending;
    {
        std::lock_guard guard(lock_);
        pending.swap(pendingReplies_);
    }
    for (auto& weak : pending) {
        if (auto reply = weak.lock()) reply->answer(std::nullopt);
    }
}

void Session::setTunnelNetworkSettings(std::optional<TransparentProxyNetworkSettings> settings,
                                       SettingsHandler completionHandler) {
    if (settings && status() == SessionStatus::disconnected) {
        asio::post(executor_, [completionHandler = std::move(completionHandler)] {
            if (completionHandler) completionHandler(Failure{posixError(ENOTCONN), "The session is not running."});
        });
        return;
    }
    diversion_.applySettings(std::move(settings), [completionHandler = std::move(completionHandler)](std::optional<Failure> failure) {
        if (completionHandler) completionHandler(std::move(failure));
    });
}

std::shared_ptr<const TunnelProviderProtocol> Session::protocolConfiguration() const {
    return store_.protocolConfiguration();
}

asio::any_io_executor Session::executor() const { return EventLoops::current().value_or(executor_); }

Error Session::prepareOutboundSocket(int nativeSocket) const {
    return diversion_.prepareOutboundSocket(nativeSocket);
}

}  // namespace corvane::platform
