#pragma once

#include "CorvaneCore/Logging/ConnectionRecord.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace corvane::testing {

// A TCP record with the given source and start; the rest filled in plainly.
inline ConnectionRecord makeRecord(std::string appIdentifier, double startedAt,
                                   ConnectionStatus status = ConnectionStatus::closed,
                                   std::optional<std::string> ruleName = std::nullopt,
                                   std::uint64_t bytesSent = 0, std::uint64_t bytesReceived = 0) {
    return ConnectionRecord{UUID::random(),
                            Date{startedAt},
                            std::move(appIdentifier),
                            std::nullopt,
                            std::nullopt,
                            "example.com:443",
                            TransportProtocol::tcp,
                            "Direct",
                            std::move(ruleName),
                            status,
                            bytesSent,
                            bytesReceived};
}

}  // namespace corvane::testing
