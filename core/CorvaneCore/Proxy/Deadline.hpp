#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/steady_timer.hpp>

#include <cstdint>
#include <memory>

namespace corvane::detail {

// Bounds a step of a proxy connection by the connect time-out. Operations
// started with slot() are cancelled when it expires; expired() then tells a
// time-out from any other cancellation. Used on one strand only: the timer
// and the operations it bounds complete there, so exactly one of them wins.
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
    asio::cancellation_slot slot();

private:
    struct State {
        explicit State(const asio::any_io_executor& strand) : timer(strand) {}
        asio::steady_timer timer;
        asio::cancellation_signal signal;
        std::uint64_t generation = 0;
        bool expired = false;
    };
    std::shared_ptr<State> state_;
};

}  // namespace corvane::detail
