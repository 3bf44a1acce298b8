#pragma once

#include <functional>
#include <optional>

#include <asio/ip/tcp.hpp>

#include "platform/AppProxyFlow.hpp"
#include "platform/Bytes.hpp"
#include "platform/Endpoint.hpp"

namespace corvane::platform {

// A diverted TCP connection. One read may be outstanding at a time.
class AppProxyTCPFlow : public AppProxyFlow {
public:
    using ReadHandler = std::function<void(std::optional<Bytes> data, Error error)>;
    using WriteHandler = std::function<void(Error error)>;

    // The original destination.
    virtual Endpoint remoteEndpoint() const = 0;
    // Data from the application; no data or empty data without an error means the
    // application closed its sending side.
    virtual void readData(ReadHandler completionHandler) = 0;
    // Data to the application; completes once all of it is handed to the system.
    virtual void write(Bytes data, WriteHandler completionHandler) = 0;
    // The kernel socket behind the flow, when it is one, so that a relay can move
    // its bytes with splice(2) instead of reads and writes (it then makes no
    // readData or write calls while it does); null otherwise. Closing stays with
    // closeRead and closeWrite.
    virtual asio::ip::tcp::socket* kernelSocket() { return nullptr; }
};

}  // namespace corvane::platform
