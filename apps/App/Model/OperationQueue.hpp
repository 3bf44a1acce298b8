#pragma once

#include <deque>
#include <functional>

namespace corvane::app {

// Runs asynchronous operations one at a time, in the order they were queued,
// on the main thread. An operation gets a `finish` function that it must call
// exactly once when it is done; the next one starts then.
class OperationQueue {
public:
    using Finish = std::function<void()>;
    using Operation = std::function<void(Finish)>;

    void enqueue(Operation operation);

private:
    void runNext();

    std::deque<Operation> queue_;
    bool running_ = false;
};

}  // namespace corvane::app
