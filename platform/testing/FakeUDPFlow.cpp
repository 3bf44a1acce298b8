#include "platform/testing/FakeUDPFlow.hpp"

namespace corvane::platform::testing {

FakeUDPFlow::FakeUDPFlow(asio::any_io_executor executor, FlowMetaData metaData)
    : FakeFlow(std::move(executor), std::move(metaData)) {}

void FakeUDPFlow::readDatagrams(ReadHandler completionHandler) {
    answerRead("readDatagrams", std::move(completionHandler));
}

void FakeUDPFlow::writeDatagrams(std::vector<Bytes> datagrams, std::vector<Endpoint> sentBy,
                                 WriteHandler completionHandler) {
    std::string entry = "writeDatagrams(" + std::to_string(datagrams.size()) + ")";
    answerWrite(std::move(entry), std::move(completionHandler), [&] {
        for (std::size_t i = 0; i < datagrams.size() && i < sentBy.size(); ++i) {
            written_.emplace_back(std::move(datagrams[i]), std::move(sentBy[i]));
        }
    });
}

void FakeUDPFlow::pushBatch(std::vector<Bytes> datagrams, std::vector<Endpoint> endpoints) {
    push({std::move(datagrams), std::move(endpoints), Error()});
}

void FakeUDPFlow::pushEnd() { push({}); }

void FakeUDPFlow::pushError(Error error) { push({std::nullopt, std::nullopt, error}); }

std::vector<FakeUDPFlow::Written> FakeUDPFlow::written() const {
    std::lock_guard guard(lock_);
    return written_;
}

}  // namespace corvane::platform::testing
