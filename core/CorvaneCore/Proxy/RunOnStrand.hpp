#pragma once

#include "CorvaneCore/Proxy/ForwardedCancellation.hpp"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_state.hpp>
#include <asio/co_spawn.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <optional>
#include <utility>

namespace corvane::detail {

// Runs `work` on `strand` and resumes the caller on its own executor with the
// result; a cancellation of the caller reaches the work on its strand.
template <typename T>
asio::awaitable<T> runOnStrand(asio::any_io_executor strand, asio::awaitable<T> work) {
    // co_spawn needs a default-constructible result; sockets are not.
    auto holder = [](asio::awaitable<T> inner) -> asio::awaitable<std::optional<T>> {
        co_return co_await std::move(inner);
    };
    const asio::cancellation_state caller = co_await asio::this_coro::cancellation_state;
    ForwardedCancellation cancellation(strand, caller.slot());
    std::optional<T> result = co_await asio::co_spawn(
        strand, holder(std::move(work)), asio::bind_cancellation_slot(cancellation.slot(), asio::use_awaitable));
    co_return std::move(*result);
}

inline asio::awaitable<void> runOnStrand(asio::any_io_executor strand, asio::awaitable<void> work) {
    const asio::cancellation_state caller = co_await asio::this_coro::cancellation_state;
    ForwardedCancellation cancellation(strand, caller.slot());
    co_await asio::co_spawn(strand, std::move(work),
                            asio::bind_cancellation_slot(cancellation.slot(), asio::use_awaitable));
}

}  // namespace corvane::detail
