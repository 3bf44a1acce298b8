#pragma once

#include <memory>

#include <asio/any_io_executor.hpp>

namespace asio {
class cancellation_signal;
class cancellation_slot;
}  // namespace asio

namespace corvane::app {

// Cancels, from the main thread, one coroutine that runs on the worker: the
// coroutine is bound to slot(), and cancel() emits there, on the worker, where
// its operations live. (Kept out of Qt's reach: Qt's `emit` keyword is a macro.)
class WorkerCancellation {
public:
    explicit WorkerCancellation(asio::any_io_executor worker);

    // The slot to bind the coroutine's completion handler to; the handler must
    // hold `keepAlive()` for as long as the coroutine runs.
    asio::cancellation_slot slot() const;
    std::shared_ptr<void> keepAlive() const { return signal_; }
    // Terminal cancellation, posted to the worker; harmless after the end.
    void cancel() const;

private:
    asio::any_io_executor worker_;
    std::shared_ptr<asio::cancellation_signal> signal_;
};

}  // namespace corvane::app
