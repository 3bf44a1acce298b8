#include "CorvaneCore/Proxy/Deadline.hpp"

#include "CorvaneCore/Proxy/ProxyClient.hpp"

#include <chrono>
#include <cmath>

namespace corvane::detail {
namespace {

std::chrono::steady_clock::duration timeoutDuration() {
    const double seconds = ProxyClient::connectTimeout.load();
    if (!(seconds > 0)) return std::chrono::steady_clock::duration::zero();
    const double capped = std::fmin(seconds, 1e9);
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(capped));
}

}  // namespace

Deadline::Deadline(const asio::any_io_executor& strand) : state_(std::make_shared<State>(strand)) {}

Deadline::~Deadline() { disarm(); }

void Deadline::arm() {
    const std::uint64_t generation = ++state_->generation;
    state_->expired = false;
    state_->timer.expires_after(timeoutDuration());
    state_->timer.async_wait([weak = std::weak_ptr<State>(state_), generation](const std::error_code& error) {
        const auto state = weak.lock();
        if (!state || error || state->generation != generation) return;
        state->expired = true;
        state->signal.emit(asio::cancellation_type::terminal);
    });
}

void Deadline::disarm() {
    ++state_->generation;
    state_->timer.cancel();
}

bool Deadline::expired() const { return state_->expired; }

asio::cancellation_slot Deadline::slot() { return state_->signal.slot(); }

}  // namespace corvane::detail
