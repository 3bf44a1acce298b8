#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/post.hpp>

#include <memory>
#include <utility>

namespace corvane::detail {

// A cancellation of the calling coroutine, passed on to work on another
// strand: the caller's cancellation arrives on the caller's executor, the
// work's cancellation state is touched only on the work's strand.
class ForwardedCancellation {
public:
    ForwardedCancellation(asio::any_io_executor strand, asio::cancellation_slot caller)
        : caller_(caller), signal_(std::make_shared<asio::cancellation_signal>()) {
        if (!caller_.is_connected()) return;
        caller_.assign([strand = std::move(strand), signal = signal_](asio::cancellation_type type) {
            asio::post(strand, [signal, type] { signal->emit(type); });
        });
    }
    ~ForwardedCancellation() {
        if (caller_.is_connected()) caller_.clear();
    }
    ForwardedCancellation(const ForwardedCancellation&) = delete;
    ForwardedCancellation& operator=(const ForwardedCancellation&) = delete;

    asio::cancellation_slot slot() { return signal_->slot(); }

private:
    asio::cancellation_slot caller_;
    std::shared_ptr<asio::cancellation_signal> signal_;
};

}  // namespace corvane::detail
