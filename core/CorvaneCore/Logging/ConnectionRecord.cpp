#include "CorvaneCore/Logging/ConnectionRecord.hpp"

namespace corvane {
namespace {

TransportProtocol readTransport(const json::Json& object) {
    const auto text = json::required<std::string>(object, "transport");
    const auto transport = transportProtocolFromString(text);
    if (!transport) throw JsonDecodeError("“transport”: unknown value “" + text + "”.");
    return *transport;
}

ConnectionStatus readStatus(const json::Json& object) {
    const auto text = json::required<std::string>(object, "status");
    const auto status = connectionStatusFromString(text);
    if (!status) throw JsonDecodeError("“status”: unknown value “" + text + "”.");
    return *status;
}

std::optional<CodeIdentity> readIdentity(const json::Json& object) {
    const json::Json* value = json::find(object, "appIdentity");
    if (value == nullptr) return std::nullopt;
    return CodeIdentity::fromJson(*value);
}

}  // namespace

ConnectionRecord ConnectionRecord::fromJson(const json::Json& value) {
    json::requireObject(value, "connection record");
    return ConnectionRecord{
        json::required<UUID>(value, "id"),
        Date{json::required<double>(value, "startedAt")},
        json::required<std::string>(value, "appIdentifier"),
        json::optional<std::string>(value, "appPath"),
        readIdentity(value),
        json::required<std::string>(value, "target"),
        readTransport(value),
        json::required<std::string>(value, "actionDescription"),
        json::optional<std::string>(value, "ruleName"),
        readStatus(value),
        json::required<std::uint64_t>(value, "bytesSent"),
        json::required<std::uint64_t>(value, "bytesReceived"),
    };
}

json::Json toJson(const ConnectionRecord& record) {
    json::Json object = {
        {"id", record.id.toString()},
        {"startedAt", record.startedAt.sinceReferenceDate},
        {"appIdentifier", record.appIdentifier},
        {"target", record.target},
        {"transport", std::string(toString(record.transport))},
        {"actionDescription", record.actionDescription},
        {"status", std::string(toString(record.status))},
        {"bytesSent", record.bytesSent},
        {"bytesReceived", record.bytesReceived},
    };
    if (record.appPath) object["appPath"] = *record.appPath;
    if (record.appIdentity) object["appIdentity"] = toJson(*record.appIdentity);
    if (record.ruleName) object["ruleName"] = *record.ruleName;
    return object;
}

std::string encodeRecordList(const std::vector<ConnectionRecord>& records) {
    json::Json array = json::Json::array();
    for (const auto& record : records) array.push_back(toJson(record));
    return array.dump(-1, ' ', false, json::Json::error_handler_t::replace);
}

std::vector<ConnectionRecord> decodeRecordList(std::string_view data) {
    const json::Json array = json::parse(data);
    json::requireArray(array, "connection records");
    std::vector<ConnectionRecord> records;
    records.reserve(array.size());
    for (const auto& element : array) records.push_back(ConnectionRecord::fromJson(element));
    return records;
}

}  // namespace corvane
