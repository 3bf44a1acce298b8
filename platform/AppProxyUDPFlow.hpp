#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/AppProxyFlow.hpp"
#include "platform/Bytes.hpp"
#include "platform/Endpoint.hpp"

namespace corvane::platform {

// A diverted UDP socket of one application: datagrams to any destinations.
class AppProxyUDPFlow : public AppProxyFlow {
public:
    // A batch of datagrams and the destination of each, at the same positions. An
    // error, no lists or empty lists mean the flow has ended.
    using ReadHandler = std::function<void(std::optional<std::vector<Bytes>> datagrams,
                                           std::optional<std::vector<Endpoint>> remoteEndpoints,
                                           Error error)>;
    using WriteHandler = std::function<void(Error error)>;

    // The destination port of the flow's first datagram, when the platform
    // tells it. On Linux every program resolves names itself, so a flow that
    // begins with a query to port 53 is one whose answers teach names.
    virtual std::optional<std::uint16_t> firstDestinationPort() const = 0;

    virtual void readDatagrams(ReadHandler completionHandler) = 0;
    // Each datagram reaches the application as sent by the endpoint at its position.
    virtual void writeDatagrams(std::vector<Bytes> datagrams, std::vector<Endpoint> sentBy,
                                WriteHandler completionHandler) = 0;
};

}  // namespace corvane::platform
