#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/Error.hpp"
#include "platform/FlowMetaData.hpp"

namespace corvane::platform {

// One flow diverted to the provider. Completions may run on any thread of the
// host's pool. Closing either side is idempotent; the first error given to a side
// is the one the application sees.
class AppProxyFlow {
public:
    virtual ~AppProxyFlow() = default;

    virtual const FlowMetaData& metaData() const = 0;
    // The name the application connected to, when the platform knows it (never on Linux).
    virtual std::optional<std::string> remoteHostname() const = 0;

    // Must complete before any read or write; the completion is called once.
    virtual void open(std::function<void(Error)> completionHandler) = 0;
    virtual void closeRead(Error error) = 0;
    // Without an error an orderly end of stream; with one an abortive close.
    virtual void closeWrite(Error error) = 0;
};

}  // namespace corvane::platform
