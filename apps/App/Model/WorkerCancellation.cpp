#include "WorkerCancellation.hpp"

#include <asio/cancellation_signal.hpp>
#include <asio/post.hpp>

namespace corvane::app {

WorkerCancellation::WorkerCancellation(asio::any_io_executor worker)
    : worker_(std::move(worker)), signal_(std::make_shared<asio::cancellation_signal>()) {}

asio::cancellation_slot WorkerCancellation::slot() const { return signal_->slot(); }

void WorkerCancellation::cancel() const {
    asio::post(worker_, [signal = signal_] { signal->emit(asio::cancellation_type::terminal); });
}

}  // namespace corvane::app
