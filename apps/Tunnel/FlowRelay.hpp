#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include <asio/ip/tcp.hpp>

#include "CorvaneCore/Proxy/ProxyConnection.hpp"
#include "platform/AppProxyTCPFlow.hpp"
#include "platform/Error.hpp"

namespace corvane::tunnel {

// Relays one intercepted TCP flow both ways between the application's flow and the
// connection through the proxies, counts the bytes and ends both sides once. A flow
// that is a kernel socket is spliced; any other one is copied through reads and
// writes.
class FlowRelay : public std::enable_shared_from_this<FlowRelay> {
public:
    struct Counters {
        std::uint64_t bytesSent = 0;
        std::uint64_t bytesReceived = 0;
    };
    // Called once when the relay ends; the error is empty for an orderly ending.
    using CloseHandler = std::function<void(std::uint64_t bytesSent, std::uint64_t bytesReceived,
                                            platform::Error error)>;

    static constexpr std::size_t kMaximumReceive = 65536;

    FlowRelay(std::shared_ptr<platform::AppProxyTCPFlow> flow, ProxyConnection upstream,
              CloseHandler onClose);

    // Starts both directions and returns at once.
    void start();
    // Ends the relay; later calls do nothing.
    void finish(platform::Error error);

    Counters counters() const;

    // Endings that are no failure: none, the stream's end, not connected, cancelled,
    // broken pipe.
    static bool isOrderlyShutdown(const platform::Error& error);

private:
    struct Upstream;
    struct Ends;

    void spliceToUpstream();
    void spliceToFlow();
    void upstreamEnded(platform::Error error);
    void readFromFlow();
    void sendUpstream(platform::Bytes data);
    void halfCloseUpstream();
    void writeInitialData();
    void receiveFromUpstream();
    void readUpstream(bool readable);
    void awaitUpstream();
    void writeToFlow(platform::Bytes data);
    void count(std::uint64_t Counters::*counter, std::size_t length);

    std::shared_ptr<platform::AppProxyTCPFlow> flow_;
    std::shared_ptr<Upstream> upstream_;
    std::shared_ptr<const Ends> ends_;  // what a splice pump keeps alive; set when splicing
    CloseHandler onClose_;

    mutable std::mutex lock_;
    Counters counters_;
    bool finished_ = false;
};

}  // namespace corvane::tunnel
