#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

namespace corvane::platform {

// A fixed set of event loops, each run by one thread of its own. A flow is
// accepted on one loop and its sockets, timers and handlers stay there, so
// its bytes never wake another thread.
class EventLoops {
public:
    explicit EventLoops(std::size_t count);
    ~EventLoops();
    EventLoops(const EventLoops&) = delete;
    EventLoops& operator=(const EventLoops&) = delete;

    std::size_t size() const { return loops_.size(); }
    asio::any_io_executor executor(std::size_t index) const;
    std::vector<asio::any_io_executor> executors() const;

    // Runs every loop, the first on the calling thread, until all of them stop.
    void run();
    // Makes every loop return; callable from any thread.
    void stop();

    // The executor of the loop that runs on the calling thread; none elsewhere.
    static std::optional<asio::any_io_executor> current();

private:
    using WorkGuard = asio::executor_work_guard<asio::io_context::executor_type>;

    std::vector<std::unique_ptr<asio::io_context>> loops_;
    std::vector<WorkGuard> work_;
};

}  // namespace corvane::platform
