#include "CorvaneCore/Proxy/Deadline.hpp"

#include "CorvaneCore/Proxy/ProxyClient.hpp"

#include <asio/this_coro.hpp>

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
bool Deadline::cancelled() const { return state_->cancelled; }

asio::awaitable<asio::cancellation_slot> Deadline::operationSlot() {
    const asio::cancellation_state caller = co_await asio::this_coro::cancellation_state;
    if (caller.cancelled() != asio::cancellation_type::none) state_->cancelled = true;
    if (state_->cancelled) throw ProxyClientError::connectionClosed();
    if (asio::cancellation_slot slot = caller.slot(); slot.is_connected()) {
        slot.assign([weak = std::weak_ptr<State>(state_)](asio::cancellation_type) {
            const auto state = weak.lock();
            if (!state) return;
            state->cancelled = true;
            state->signal.emit(asio::cancellation_type::terminal);
        });
    }
    co_return state_->signal.slot();
}

void Deadline::operationDone() { state_->signal.slot().clear(); }

}  // namespace corvane::detail
