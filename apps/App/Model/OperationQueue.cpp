#include "OperationQueue.hpp"

namespace corvane::app {

void OperationQueue::enqueue(Operation operation) {
    queue_.push_back(std::move(operation));
    if (!running_) runNext();
}

void OperationQueue::runNext() {
    if (queue_.empty()) return;
    running_ = true;
    Operation operation = std::move(queue_.front());
    queue_.pop_front();
    operation([this] {
        running_ = false;
        runNext();
    });
}

}  // namespace corvane::app
