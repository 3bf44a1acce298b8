#include "QtScheduler.hpp"

#include <QTimer>

namespace corvane::app {

namespace {

class TimerCall : public ScheduledCall {
public:
    TimerCall(std::chrono::milliseconds delay, std::function<void()> action) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [action = std::move(action)] { action(); });
        timer_.start(delay);
    }

private:
    QTimer timer_;
};

}  // namespace

std::unique_ptr<ScheduledCall> QtScheduler::schedule(std::chrono::milliseconds delay, std::function<void()> action) {
    return std::make_unique<TimerCall>(delay, std::move(action));
}

}  // namespace corvane::app
