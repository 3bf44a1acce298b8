#pragma once

#include <optional>
#include <tuple>
#include <utility>

#include "platform/AppProxyUDPFlow.hpp"
#include "platform/testing/FakeFlow.hpp"

namespace corvane::platform::testing {

// A UDP flow the test drives: it pushes batches of datagrams with their
// destinations, the end of the flow or an error, and reads what the provider wrote
// back with the endpoint each datagram was sent by. Log entries: "readDatagrams",
// "writeDatagrams(N)".
class FakeUDPFlow
    : public FakeFlow<AppProxyUDPFlow,
                      std::tuple<std::optional<std::vector<Bytes>>, std::optional<std::vector<Endpoint>>, Error>> {
public:
    using Written = std::pair<Bytes, Endpoint>;

    FakeUDPFlow(asio::any_io_executor executor, FlowMetaData metaData = {});

    std::optional<std::uint16_t> firstDestinationPort() const override { return firstDestinationPort_; }
    void setFirstDestinationPort(std::uint16_t port) { firstDestinationPort_ = port; }

    void readDatagrams(ReadHandler completionHandler) override;
    void writeDatagrams(std::vector<Bytes> datagrams, std::vector<Endpoint> sentBy,
                        WriteHandler completionHandler) override;

    void pushBatch(std::vector<Bytes> datagrams, std::vector<Endpoint> endpoints);
    // The flow ended: the read gets no lists.
    void pushEnd();
    void pushError(Error error);

    std::vector<Written> written() const;

private:
    std::vector<Written> written_;
    std::optional<std::uint16_t> firstDestinationPort_;
};

}  // namespace corvane::platform::testing
