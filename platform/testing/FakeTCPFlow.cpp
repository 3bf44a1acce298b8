#include "platform/testing/FakeTCPFlow.hpp"

namespace corvane::platform::testing {

FakeTCPFlow::FakeTCPFlow(asio::any_io_executor executor, Endpoint remoteEndpoint, FlowMetaData metaData)
    : FakeFlow(std::move(executor), std::move(metaData)), remoteEndpoint_(std::move(remoteEndpoint)) {}

void FakeTCPFlow::readData(ReadHandler completionHandler) { answerRead("read", std::move(completionHandler)); }

void FakeTCPFlow::write(Bytes data, WriteHandler completionHandler) {
    std::string entry = "write(" + std::to_string(data.size()) + ")";
    answerWrite(std::move(entry), std::move(completionHandler), [&] { writes_.push_back(std::move(data)); });
}

void FakeTCPFlow::pushData(Bytes data) { push({std::move(data), Error()}); }
void FakeTCPFlow::pushEOF() { push({}); }
void FakeTCPFlow::pushError(Error error) { push({std::nullopt, error}); }

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

}  // namespace corvane::platform::testing
