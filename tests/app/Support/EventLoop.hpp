#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include <QCoreApplication>
#include <QEventLoop>

namespace corvane::app::testing {

// Delivers everything queued on the main thread, including what the deliveries
// queue in turn (results of fakes travel a few hops).
inline void settle() {
    for (int round = 0; round < 50; ++round) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Runs the event loop until `done` holds or `limit` passes, checking again
// after each `pause`; whether it held.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5),
                      std::chrono::milliseconds pause = std::chrono::milliseconds(2)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(pause);
    }
    return true;
}

}  // namespace corvane::app::testing
