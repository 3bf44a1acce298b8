#pragma once

#include <memory>

#include <asio/associated_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>

#include "platform/AppProxyFlow.hpp"

namespace corvane::platform {

// Opens the flow with no local endpoint and resumes on the awaiting coroutine's
// executor. Throws std::system_error with the open's error.
//
// Deliberately not a coroutine: g++ 12 destroys the captures of a lambda written
// inside a co_await expression twice (a shared_ptr's count drops by one per await).
// The awaitable comes straight from async_initiate in a plain function. Kept in
// the header so that the platform library itself needs no coroutine support.
inline asio::awaitable<void> openAsync(std::shared_ptr<AppProxyFlow> flow) {
    // An error code as the first argument makes use_awaitable throw std::system_error.
    return asio::async_initiate<const asio::use_awaitable_t<>, void(Error)>(
        [flow](auto handler) {
            // The completion may run on any thread: resume on the coroutine's executor.
            auto executor = asio::get_associated_executor(handler);
            auto shared = std::make_shared<decltype(handler)>(std::move(handler));
            flow->open([shared, executor](Error result) {
                asio::post(executor, [shared, result]() mutable { (*shared)(result); });
            });
        },
        asio::use_awaitable);
}

}  // namespace corvane::platform
