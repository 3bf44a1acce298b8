#pragma once

#include <thread>

#include <asio/any_io_executor.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

namespace corvane::app {

// The one thread that runs the app's network work (the daemon's control socket,
// proxy probes). Results reach the main thread through MainThread::bind.
class AsioWorker {
public:
    AsioWorker();
    ~AsioWorker();
    AsioWorker(const AsioWorker&) = delete;
    AsioWorker& operator=(const AsioWorker&) = delete;

    asio::any_io_executor executor() { return context_.get_executor(); }

private:
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::thread thread_;
};

}  // namespace corvane::app
