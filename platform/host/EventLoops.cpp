#include "platform/host/EventLoops.hpp"

#include <algorithm>
#include <thread>

namespace corvane::platform {

namespace {

thread_local asio::io_context* runningLoop = nullptr;

void runOnThisThread(asio::io_context& loop) {
    runningLoop = &loop;
    loop.run();
    runningLoop = nullptr;
}

}  // namespace

EventLoops::EventLoops(std::size_t count) {
    for (std::size_t i = 0; i < std::max<std::size_t>(count, 1); ++i) {
        // One thread runs each loop, so the loop needs no locking of its own handlers.
        loops_.push_back(std::make_unique<asio::io_context>(1));
        work_.push_back(asio::make_work_guard(*loops_.back()));
    }
}

EventLoops::~EventLoops() { stop(); }

asio::any_io_executor EventLoops::executor(std::size_t index) const { return loops_.at(index)->get_executor(); }

std::vector<asio::any_io_executor> EventLoops::executors() const {
    std::vector<asio::any_io_executor> all;
    for (const auto& loop : loops_) all.push_back(loop->get_executor());
    return all;
}

void EventLoops::run() {
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < loops_.size(); ++i) threads.emplace_back([loop = loops_[i].get()] { runOnThisThread(*loop); });
    runOnThisThread(*loops_.front());
    for (auto& thread : threads) thread.join();
}

void EventLoops::stop() {
    for (auto& loop : loops_) loop->stop();
}

std::optional<asio::any_io_executor> EventLoops::current() {
    if (!runningLoop) return std::nullopt;
    return runningLoop->get_executor();
}

}  // namespace corvane::platform
