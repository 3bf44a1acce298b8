#include "platform/testing/FakeUDPFlow.hpp"

namespace corvane::platform::testing {

FakeUDPFlow::FakeUDPFlow(asio::any_io_executor executor, FlowMetaData metaData)
    : FakeFlow(std::move(executor), std::move(metaData)) {}

void FakeUDPFlow::readDatagrams(ReadHandler completionHandler) {
    std::unique_lock guard(lock_);
    appendLog("readDatagrams");
    if (isReadClosedLocked()) {
        guard.unlock();
        deliver(std::move(completionHandler), Batch{{}, {}, asio::error::operation_aborted});
        return;
    }
    if (batches_.empty()) {
        pendingRead_ = std::move(completionHandler);
        return;
    }
    Batch batch = std::move(batches_.front());
    batches_.pop_front();
    guard.unlock();
    deliver(std::move(completionHandler), std::move(batch));
}

void FakeUDPFlow::writeDatagrams(std::vector<Bytes> datagrams, std::vector<Endpoint> sentBy,
                                 WriteHandler completionHandler) {
    std::unique_lock guard(lock_);
    appendLog("writeDatagrams(" + std::to_string(datagrams.size()) + ")");
    Error error;
    if (isWriteClosedLocked()) {
        error = asio::error::broken_pipe;
    } else if (!writeErrors_.empty()) {
        error = writeErrors_.front();
        writeErrors_.pop_front();
    }
    if (!error) {
        for (std::size_t i = 0; i < datagrams.size() && i < sentBy.size(); ++i) {
            written_.emplace_back(std::move(datagrams[i]), std::move(sentBy[i]));
        }
    }
    guard.unlock();
    post([completionHandler = std::move(completionHandler), error] { completionHandler(error); });
}

void FakeUDPFlow::pushBatch(std::vector<Bytes> datagrams, std::vector<Endpoint> endpoints) {
    push(Batch{std::move(datagrams), std::move(endpoints), {}});
}

void FakeUDPFlow::pushEnd() { push(Batch{}); }

void FakeUDPFlow::pushError(Error error) { push(Batch{{}, {}, error}); }

void FakeUDPFlow::failNextWriteWith(Error error) {
    std::lock_guard guard(lock_);
    writeErrors_.push_back(error);
}

std::vector<FakeUDPFlow::Written> FakeUDPFlow::written() const {
    std::lock_guard guard(lock_);
    return written_;
}

bool FakeUDPFlow::hasPendingRead() const {
    std::lock_guard guard(lock_);
    return static_cast<bool>(pendingRead_);
}

void FakeUDPFlow::push(Batch batch) {
    std::unique_lock guard(lock_);
    if (!pendingRead_) {
        batches_.push_back(std::move(batch));
        return;
    }
    ReadHandler handler = std::move(pendingRead_);
    pendingRead_ = nullptr;
    guard.unlock();
    deliver(std::move(handler), std::move(batch));
}

void FakeUDPFlow::deliver(ReadHandler handler, Batch batch) {
    post([handler = std::move(handler), batch = std::move(batch)] {
        handler(batch.datagrams, batch.endpoints, batch.error);
    });
}

void FakeUDPFlow::readSideClosed() {
    std::unique_lock guard(lock_);
    ReadHandler handler = std::move(pendingRead_);
    pendingRead_ = nullptr;
    guard.unlock();
    if (handler) deliver(std::move(handler), Batch{{}, {}, asio::error::operation_aborted});
}

}  // namespace corvane::platform::testing
