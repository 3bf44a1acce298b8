#pragma once

#include <cstddef>
#include <deque>
#include <variant>

#include "platform/AppProxyTCPFlow.hpp"
#include "platform/testing/FakeFlow.hpp"

namespace corvane::platform::testing {

// A TCP flow the test drives: it pushes what the application sends (data, end of
// stream, an error), and reads what the provider wrote. Log entries: "read" for each
// read call, "write(N)" for each write of N bytes.
class FakeTCPFlow : public FakeFlow<AppProxyTCPFlow> {
public:
    FakeTCPFlow(asio::any_io_executor executor, Endpoint remoteEndpoint, FlowMetaData metaData = {});

    Endpoint remoteEndpoint() const override { return remoteEndpoint_; }
    void readData(ReadHandler completionHandler) override;
    void write(Bytes data, WriteHandler completionHandler) override;

    // The application sends data / closes its sending side / its connection fails.
    void pushData(Bytes data);
    void pushEOF();
    void pushError(Error error);
    // The next write completes with `error`.
    void failNextWriteWith(Error error);

    // Everything written to the application, concatenated, and each write apart.
    Bytes written() const;
    std::vector<Bytes> writes() const;
    // Reads issued while another was still outstanding (a provider fault).
    std::size_t overlappingReads() const;
    bool hasPendingRead() const;

private:
    struct Eof {};
    using Event = std::variant<Bytes, Eof, Error>;

    void readSideClosed() override;
    void deliver(ReadHandler handler, Event event);
    void push(Event event);

    Endpoint remoteEndpoint_;
    std::deque<Event> events_;
    ReadHandler pendingRead_;
    std::size_t overlappingReads_ = 0;
    std::vector<Bytes> writes_;
    std::deque<Error> writeErrors_;
};

}  // namespace corvane::platform::testing
