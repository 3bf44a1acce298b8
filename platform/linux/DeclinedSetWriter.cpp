#include "DeclinedSetWriter.hpp"

#include "NftablesRuleset.hpp"

#include <algorithm>

namespace corvane::platform {

DeclinedSetWriter::DeclinedSetWriter(std::shared_ptr<Nftables> nftables, DiversionConstants constants,
                                     unsigned seconds)
    : nftables_(std::move(nftables)), constants_(std::move(constants)), seconds_(seconds), worker_([this] { run(); }) {}

DeclinedSetWriter::~DeclinedSetWriter() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    queued_.notify_one();
    worker_.join();
}

void DeclinedSetWriter::add(const SocketAddress& source) {
    {
        std::lock_guard guard(lock_);
        if (queue_.size() >= kQueueLimit) return;
        queue_.push_back(source);
    }
    queued_.notify_one();
}

void DeclinedSetWriter::run() {
    std::vector<SocketAddress> batch;
    std::unique_lock guard(lock_);
    while (true) {
        queued_.wait(guard, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        const auto count = std::min(queue_.size(), kBatchLimit);
        batch.assign(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(count));
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(count));
        guard.unlock();
        // A refused command (the table was just removed) leaves those sources
        // to the daemon's pass-through.
        nftables_->run(NftablesRuleset::declinedElements(batch, seconds_, constants_));
        guard.lock();
    }
}

}  // namespace corvane::platform
