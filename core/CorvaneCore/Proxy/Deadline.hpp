#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/steady_timer.hpp>

#include <cstdint>
#include <memory>

namespace corvane::detail {

// Bounds a step of a proxy connection by the connect time-out. An operation
// started with operationSlot() is cancelled when the deadline expires, or at
// once when the coroutine that starts it is cancelled (the caller gives the
// connection up); expired() and cancelled() tell these apart from any other
// cancellation. Used on one strand only: the timer and the operations it
// bounds complete there, so exactly one of them wins.
class Deadline {
public:
    explicit Deadline(const asio::any_io_executor& strand);
    ~Deadline();
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    // (Re)starts the deadline at now + ProxyClient::connectTimeout.
    void arm();
    void disarm();
    bool expired() const;
    bool cancelled() const;
    // The slot to bind the calling coroutine's next operation to. The
    // coroutine's cancellation is linked to it anew for each operation, since
    // every completed operation unlinks the coroutine's slot. Throws
    // connectionClosed once the coroutine was cancelled.
    asio::awaitable<asio::cancellation_slot> operationSlot();
    // Unbinds the operation that completed.
    void operationDone();

private:
    struct State {
        explicit State(const asio::any_io_executor& strand) : timer(strand) {}
        asio::steady_timer timer;
        asio::cancellation_signal signal;
        std::uint64_t generation = 0;
        bool expired = false;
        bool cancelled = false;
    };
    std::shared_ptr<State> state_;
};

}  // namespace corvane::detail
