#pragma once

#include <functional>
#include <optional>

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
};

}  // namespace corvane::platform
