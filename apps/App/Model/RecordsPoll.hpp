#pragma once

#include <chrono>
#include <memory>

#include <QObject>
#include <QPointer>

#include "Scheduler.hpp"
#include "platform/Bytes.hpp"
#include "platform/Clock.hpp"

namespace corvane::app {

class AppState;

// The records poll of the Connections page. While the engine runs, each pass
// asks the daemon for its records and hands them to the model; every pass
// (also when the engine is stopped) then sleeps 2 s, counted after the reply.
// Destroying the object ends the poll; a reply still on its way is dropped.
class RecordsPoll : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kPeriod{2000};

    RecordsPoll(AppState& state, Scheduler& scheduler, platform::Clock clock);

private:
    void pass();
    void fetched(const std::optional<platform::Bytes>& reply);
    void sleep();

    QPointer<AppState> state_;
    Scheduler& scheduler_;
    platform::Clock clock_;
    std::unique_ptr<ScheduledCall> wake_;
};

}  // namespace corvane::app
