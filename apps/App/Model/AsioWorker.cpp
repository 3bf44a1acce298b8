#include "AsioWorker.hpp"

namespace corvane::app {

AsioWorker::AsioWorker() : work_(asio::make_work_guard(context_)), thread_([this] { context_.run(); }) {}

AsioWorker::~AsioWorker() {
    work_.reset();
    context_.stop();
    thread_.join();
}

}  // namespace corvane::app
