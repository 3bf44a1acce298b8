#include "platform/SplicePump.hpp"

#include <fcntl.h>

#include <cerrno>


namespace corvane::platform {

namespace {

// Splices moved without waiting before the pump lets other connections of its
// loop have their turn.
constexpr int kBudget = 8;

Error lastError() { return Error(errno, std::generic_category()); }

bool wouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }

}  // namespace

void SplicePump::start(asio::ip::tcp::socket& from, asio::ip::tcp::socket& to, std::shared_ptr<const void> owner,
                       Moved moved, Ended ended) {
    auto pump = std::make_shared<SplicePump>(from, to, std::move(owner), std::move(moved), std::move(ended));
    Error error;
    from.native_non_blocking(true, error);
    if (!error) to.native_non_blocking(true, error);
    if (error) return pump->end(error);
    pump->fill(kBudget);
}

SplicePump::SplicePump(asio::ip::tcp::socket& from, asio::ip::tcp::socket& to, std::shared_ptr<const void> owner,
                       Moved moved, Ended ended)
    : from_(from), to_(to), owner_(std::move(owner)), moved_(std::move(moved)), ended_(std::move(ended)) {}

void SplicePump::awaitSource() {
    from_.async_wait(asio::socket_base::wait_read, [self = shared_from_this()](Error error) {
        if (error) return self->end(error);
        self->fill(kBudget);
    });
}

// Takes what the source has queued into the pipe, up to its capacity.
void SplicePump::fill(int budget) {
    if (!pipe_ && !(pipe_ = Pipe::take())) return end(lastError());
    const auto room = static_cast<std::size_t>(pipe_->capacity()) - inPipe_;
    const ssize_t got = ::splice(from_.native_handle(), nullptr, pipe_->writeEnd(), nullptr, room,
                                 SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    if (got > 0) {
        inPipe_ += static_cast<std::size_t>(got);
        if (moved_) moved_(static_cast<std::size_t>(got));
        return drain(budget - 1);
    }
    if (got == 0) {
        sourceEnded_ = true;
        return drain(budget);
    }
    if (!wouldBlock()) return end(lastError());
    if (inPipe_ == 0) Pipe::give(std::move(pipe_), true);
    awaitSource();
}

// Writes what the pipe holds on to the destination.
void SplicePump::drain(int budget) {
    while (inPipe_ > 0) {
        const ssize_t put = ::splice(pipe_->readEnd(), nullptr, to_.native_handle(), nullptr, inPipe_,
                                     SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (put > 0) {
            inPipe_ -= static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && wouldBlock()) return awaitDestination(budget);
        return end(put < 0 ? lastError() : Error(EPIPE, std::generic_category()));
    }
    if (sourceEnded_) return end({});
    if (budget > 0) return fill(budget);
    Pipe::give(std::move(pipe_), true);
    awaitSource();
}

void SplicePump::awaitDestination(int budget) {
    to_.async_wait(asio::socket_base::wait_write, [self = shared_from_this(), budget](Error error) {
        if (error) return self->end(error);
        self->drain(budget);
    });
}

void SplicePump::end(Error error) {
    Pipe::give(std::move(pipe_), inPipe_ == 0);
    auto ended = std::move(ended_);
    moved_ = nullptr;
    // The sockets stay alive until the owner has heard of the end.
    const auto owner = std::move(owner_);
    if (ended) ended(error);
}

}  // namespace corvane::platform
