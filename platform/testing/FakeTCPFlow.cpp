#include "platform/testing/FakeTCPFlow.hpp"

namespace corvane::platform::testing {

FakeTCPFlow::FakeTCPFlow(asio::any_io_executor executor, Endpoint remoteEndpoint, FlowMetaData metaData)
    : FakeFlow(std::move(executor), std::move(metaData)), remoteEndpoint_(std::move(remoteEndpoint)) {}

void FakeTCPFlow::readData(ReadHandler completionHandler) {
    std::unique_lock guard(lock_);
    appendLog("read");
    if (pendingRead_) ++overlappingReads_;
    if (isReadClosedLocked()) {
        guard.unlock();
        deliver(std::move(completionHandler), Error(asio::error::operation_aborted));
        return;
    }
    if (events_.empty()) {
        pendingRead_ = std::move(completionHandler);
        return;
    }
    Event event = std::move(events_.front());
    events_.pop_front();
    guard.unlock();
    deliver(std::move(completionHandler), std::move(event));
}

void FakeTCPFlow::write(Bytes data, WriteHandler completionHandler) {
    std::unique_lock guard(lock_);
    appendLog("write(" + std::to_string(data.size()) + ")");
    Error error;
    if (isWriteClosedLocked()) {
        error = asio::error::broken_pipe;
    } else if (!writeErrors_.empty()) {
        error = writeErrors_.front();
        writeErrors_.pop_front();
    }
    if (!error) writes_.push_back(std::move(data));
    guard.unlock();
    post([completionHandler = std::move(completionHandler), error] { completionHandler(error); });
}

void FakeTCPFlow::pushData(Bytes data) { push(std::move(data)); }
void FakeTCPFlow::pushEOF() { push(Eof{}); }
void FakeTCPFlow::pushError(Error error) { push(error); }

void FakeTCPFlow::failNextWriteWith(Error error) {
    std::lock_guard guard(lock_);
    writeErrors_.push_back(error);
}

Bytes FakeTCPFlow::written() const {
    std::lock_guard guard(lock_);
    Bytes all;
    for (const auto& chunk : writes_) all.insert(all.end(), chunk.begin(), chunk.end());
    return all;
}

std::vector<Bytes> FakeTCPFlow::writes() const {
    std::lock_guard guard(lock_);
    return writes_;
}

std::size_t FakeTCPFlow::overlappingReads() const {
    std::lock_guard guard(lock_);
    return overlappingReads_;
}

bool FakeTCPFlow::hasPendingRead() const {
    std::lock_guard guard(lock_);
    return static_cast<bool>(pendingRead_);
}

void FakeTCPFlow::push(Event event) {
    std::unique_lock guard(lock_);
    if (!pendingRead_) {
        events_.push_back(std::move(event));
        return;
    }
    ReadHandler handler = std::move(pendingRead_);
    pendingRead_ = nullptr;
    guard.unlock();
    deliver(std::move(handler), std::move(event));
}

void FakeTCPFlow::deliver(ReadHandler handler, Event event) {
    post([handler = std::move(handler), event = std::move(event)] {
        if (const auto* data = std::get_if<Bytes>(&event)) handler(*data, {});
        else if (const auto* error = std::get_if<Error>(&event)) handler(std::nullopt, *error);
        else handler(std::nullopt, {});
    });
}

// A read still waiting when the read side closes ends as cancelled.
void FakeTCPFlow::readSideClosed() {
    std::unique_lock guard(lock_);
    ReadHandler handler = std::move(pendingRead_);
    pendingRead_ = nullptr;
    guard.unlock();
    if (handler) deliver(std::move(handler), Error(asio::error::operation_aborted));
}

}  // namespace corvane::platform::testing
