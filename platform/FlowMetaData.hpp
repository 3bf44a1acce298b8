#pragma once

#include <optional>
#include <string>

#include "platform/Bytes.hpp"

namespace corvane::platform {

// What the platform knows about the application that opened a flow.
struct FlowMetaData {
    // The source process's audit token (32 bytes on this platform), absent when
    // the owner could not be found.
    std::optional<Bytes> sourceAppAuditToken;
    // The application's claimed identifier; may be empty.
    std::string sourceAppSigningIdentifier;

    friend bool operator==(const FlowMetaData&, const FlowMetaData&) = default;
};

}  // namespace corvane::platform
