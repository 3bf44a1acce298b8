#include "platform/OpenAsync.hpp"

#include <asio/async_result.hpp>
#include <asio/post.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

namespace corvane::platform {

asio::awaitable<void> openAsync(std::shared_ptr<AppProxyFlow> flow) {
    auto executor = co_await asio::this_coro::executor;
    // An error code as the first argument makes use_awaitable throw std::system_error.
    co_await asio::async_initiate<const asio::use_awaitable_t<>, void(Error)>(
        [flow, executor](auto handler) {
            // The completion may run on any thread: resume on the coroutine's executor.
            auto shared = std::make_shared<decltype(handler)>(std::move(handler));
            flow->open([shared, executor](Error result) {
                asio::post(executor, [shared, result]() mutable { (*shared)(result); });
            });
        },
        asio::use_awaitable);
}

}  // namespace corvane::platform
