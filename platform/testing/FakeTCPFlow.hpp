#pragma once

#include <optional>
#include <tuple>

#include "platform/AppProxyTCPFlow.hpp"
#include "platform/testing/FakeFlow.hpp"

namespace corvane::platform::testing {

// A TCP flow the test drives: it pushes what the application sends (data, end of
// stream, an error), and reads what the provider wrote. Log entries: "read" for each
// read call, "write(N)" for each write of N bytes.
class FakeTCPFlow : public FakeFlow<AppProxyTCPFlow, std::tuple<std::optional<Bytes>, Error>> {
public:
    FakeTCPFlow(asio::any_io_executor executor, Endpoint remoteEndpoint, FlowMetaData metaData = {});

    Endpoint remoteEndpoint() const override { return remoteEndpoint_; }
    void readData(ReadHandler completionHandler) override;
    void write(Bytes data, WriteHandler completionHandler) override;

    // The application sends data / closes its sending side / its connection fails.
    void pushData(Bytes data);
    void pushEOF();
    void pushError(Error error);

    // Everything written to the application, concatenated, and each write apart.
    Bytes written() const;
    std::vector<Bytes> writes() const;
    using FakeFlow::overlappingReads;

private:
    Endpoint remoteEndpoint_;
    std::vector<Bytes> writes_;
};

}  // namespace corvane::platform::testing
