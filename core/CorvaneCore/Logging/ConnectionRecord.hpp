#pragma once

#include "CorvaneCore/Logging/ConnectionStatus.hpp"
#include "CorvaneCore/Models/CodeIdentity.hpp"
#include "CorvaneCore/Models/TransportProtocol.hpp"
#include "CorvaneCore/Support/Date.hpp"
#include "CorvaneCore/Support/JsonReader.hpp"
#include "CorvaneCore/Support/UUID.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// One connection logged by the daemon: its source, destination, the routing
// decision, how it ended and the bytes it carried.
struct ConnectionRecord {
    UUID id;
    Date startedAt;
    std::string appIdentifier;
    std::optional<std::string> appPath;
    std::optional<CodeIdentity> appIdentity;
    std::string target;  // host or address, ":" and port
    TransportProtocol transport = TransportProtocol::tcp;
    std::string actionDescription;
    std::optional<std::string> ruleName;  // absent when the default action applied
    ConnectionStatus status = ConnectionStatus::active;
    std::uint64_t bytesSent = 0;      // from the application towards the target
    std::uint64_t bytesReceived = 0;  // from the target for the application

    // An identity was looked up and found not valid; no identity is not unverified.
    bool hasUnverifiedIdentity() const { return appIdentity && !appIdentity->isValid; }

    // Strict reading: every always-written key with its type, known raw texts.
    static ConnectionRecord fromJson(const json::Json& value);

    friend bool operator==(const ConnectionRecord&, const ConnectionRecord&) = default;
};

// The optional keys are left out when absent, never written as null.
json::Json toJson(const ConnectionRecord& record);

// The "fetchRecords" reply: a compact JSON array of records. Text that is not
// valid UTF-8 is written with U+FFFD, so one bad name cannot spoil the reply.
std::string encodeRecordList(const std::vector<ConnectionRecord>& records);
// Throws JsonDecodeError when the data or any one record does not decode.
std::vector<ConnectionRecord> decodeRecordList(std::string_view data);

}  // namespace corvane
