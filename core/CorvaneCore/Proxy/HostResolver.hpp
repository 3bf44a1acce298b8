#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/associated_cancellation_slot.hpp>
#include <asio/associated_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/error.hpp>
#include <asio/execution/outstanding_work.hpp>
#include <asio/ip/address.hpp>
#include <asio/post.hpp>
#include <asio/prefer.hpp>
#include <asio/thread_pool.hpp>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace corvane::detail {

using AddressList = std::vector<asio::ip::address>;

// Looks a host name up with getaddrinfo (blocking). A text that glibc would
// read as a numeric address (such as "1.2.3") but that is not an IP literal
// here is refused as host_not_found rather than connected to another address.
std::pair<std::error_code, AddressList> lookUpHost(const std::string& host);

// The small pool that runs lookups, so that one slow lookup never delays the
// event loop or another connection's lookup.
asio::thread_pool& lookupPool();

template <typename Handler>
class ResolveCall : public std::enable_shared_from_this<ResolveCall<Handler>> {
public:
    explicit ResolveCall(Handler handler)
        : handler_(std::move(handler)),
          executor_(asio::get_associated_executor(*handler_)),
          work_(asio::prefer(*executor_, asio::execution::outstanding_work.tracked)) {}

    void start(std::string host) {
        auto slot = asio::get_associated_cancellation_slot(*handler_);
        if (slot.is_connected()) {
            slot.assign([self = this->shared_from_this()](asio::cancellation_type) {
                self->complete(asio::error::operation_aborted, {});
            });
        }
        asio::post(lookupPool(), [self = this->shared_from_this(), host = std::move(host)] {
            auto [error, addresses] = lookUpHost(host);
            self->complete(error, std::move(addresses));
        });
    }

private:
    // The first of lookup and cancellation delivers; the other finds nothing to
    // do. The delivering side drops every reference into the caller's event
    // loop before its tracked work, so that loop cannot run out of work (and be
    // destroyed) while a lookup thread still holds one of them.
    void complete(std::error_code error, AddressList addresses) {
        std::lock_guard lock(mutex_);
        if (!handler_) return;
        asio::post(*executor_, [handler = std::move(*handler_), error, addresses = std::move(addresses)]() mutable {
            std::move(handler)(error, std::move(addresses));
        });
        handler_.reset();
        executor_.reset();
        work_.reset();
    }

    std::mutex mutex_;
    std::optional<Handler> handler_;
    std::optional<asio::associated_executor_t<Handler>> executor_;
    std::optional<asio::any_io_executor> work_;
};

// Resolves a host name off the calling thread; completes on the handler's
// executor. Per-operation cancellation completes it at once with
// operation_aborted, and the lookup's late result is dropped.
template <typename Token>
auto asyncResolve(std::string host, Token&& token) {
    return asio::async_initiate<Token, void(std::error_code, AddressList)>(
        [](auto handler, std::string name) {
            using Call = ResolveCall<decltype(handler)>;
            std::make_shared<Call>(std::move(handler))->start(std::move(name));
        },
        token, std::move(host));
}

}  // namespace corvane::detail
