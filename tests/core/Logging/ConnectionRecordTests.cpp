#include "CorvaneCore/Logging/ConnectionRecord.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace corvane {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

const char* const kFullRecord = R"({"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","startedAt":756000000.25,
 "appIdentifier":"firefox-esr","appPath":"/usr/lib/firefox-esr/firefox-esr",
 "appIdentity":{"isValid":true,"isPlatformBinary":true},
 "target":"www.example.com:443","transport":"tcp","actionDescription":"Proxy: Office",
 "ruleName":"Web","status":"active","bytesSent":0,"bytesReceived":18446744073709551615,
 "futureKey":[1,2]})";

ConnectionRecord fullRecord() { return ConnectionRecord::fromJson(json::parse(kFullRecord)); }

ConnectionRecord bareRecord() {
    return ConnectionRecord{*UUID::fromString("00000000-0000-4000-8000-000000000001"),
                            Date{0}, "curl", std::nullopt, std::nullopt, "198.51.100.7:53 (UDP)",
                            TransportProtocol::udp, "Proxy: Home", std::nullopt,
                            ConnectionStatus::closed, kMax, 0};
}

TEST(ConnectionRecordTest, DecodesEveryField) {
    const ConnectionRecord record = fullRecord();
    EXPECT_EQ(record.id.toString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(record.startedAt, Date{756000000.25});
    EXPECT_EQ(record.appIdentifier, "firefox-esr");
    EXPECT_EQ(record.appPath, "/usr/lib/firefox-esr/firefox-esr");
    EXPECT_EQ(record.appIdentity, (CodeIdentity{true, std::nullopt, true}));
    EXPECT_EQ(record.target, "www.example.com:443");
    EXPECT_EQ(record.transport, TransportProtocol::tcp);
    EXPECT_EQ(record.actionDescription, "Proxy: Office");
    EXPECT_EQ(record.ruleName, "Web");
    EXPECT_EQ(record.status, ConnectionStatus::active);
    EXPECT_EQ(record.bytesSent, 0u);
    EXPECT_EQ(record.bytesReceived, kMax);
}

TEST(ConnectionRecordTest, RoundTripsThroughJsonIncludingTheLargestCounts) {
    for (const ConnectionRecord& record : {fullRecord(), bareRecord()}) {
        const std::string text = encodeRecordList({record});
        const auto decoded = decodeRecordList(text);
        ASSERT_EQ(decoded.size(), 1u);
        EXPECT_EQ(decoded[0], record);
        EXPECT_EQ(json::parse(text)[0], toJson(record));
    }
    const json::Json encoded = toJson(bareRecord());
    EXPECT_TRUE(encoded["bytesSent"].is_number_unsigned());
    EXPECT_EQ(encoded["bytesSent"].dump(), "18446744073709551615");
    EXPECT_EQ(encoded["bytesReceived"].dump(), "0");
    EXPECT_EQ(encoded["id"], "00000000-0000-4000-8000-000000000001");
    EXPECT_EQ(toJson(fullRecord())["id"], "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
}

TEST(ConnectionRecordTest, LeavesOutAbsentOptionalFields) {
    const json::Json encoded = toJson(bareRecord());
    EXPECT_EQ(encoded.size(), 9u);
    for (const char* key : {"appPath", "appIdentity", "ruleName"}) EXPECT_FALSE(encoded.contains(key));
    for (const auto& [key, value] : encoded.items()) EXPECT_FALSE(value.is_null()) << key;
    EXPECT_EQ(encoded["transport"], "udp");
    EXPECT_EQ(encoded["status"], "closed");
    EXPECT_EQ(toJson(fullRecord()).size(), 12u);
}

TEST(ConnectionRecordTest, WritesDatesAsSecondsSinceTheReferenceDate) {
    ConnectionRecord record = bareRecord();
    EXPECT_EQ(toJson(record)["startedAt"].get<double>(), 0.0);
    record.startedAt = Date::fromUnix(978307201);
    EXPECT_EQ(toJson(record)["startedAt"].get<double>(), 1.0);
    auto object = toJson(record);
    object["startedAt"] = 42;  // an integer JSON number is a date too
    EXPECT_EQ(ConnectionRecord::fromJson(object).startedAt, Date{42});
}

TEST(ConnectionRecordTest, MissingOrNullOptionalKeysAreAbsent) {
    auto object = json::parse(kFullRecord);
    object.erase("ruleName");
    object["appPath"] = nullptr;
    object["appIdentity"] = nullptr;
    const ConnectionRecord record = ConnectionRecord::fromJson(object);
    EXPECT_EQ(record.ruleName, std::nullopt);
    EXPECT_EQ(record.appPath, std::nullopt);
    EXPECT_EQ(record.appIdentity, std::nullopt);
}

TEST(ConnectionRecordTest, RejectsMissingKeysAndValuesOfTheWrongForm) {
    struct Case {
        const char* key;
        json::Json value;  // null: the key is removed
    };
    const Case cases[] = {
        {"id", nullptr}, {"startedAt", nullptr}, {"appIdentifier", nullptr}, {"target", nullptr},
        {"transport", nullptr}, {"actionDescription", nullptr}, {"status", nullptr},
        {"bytesSent", nullptr}, {"bytesReceived", nullptr},
        {"id", "E621E1F8C36C495A93FC0C247A3E6E5F"}, {"startedAt", "756000000"},
        {"appIdentifier", 7}, {"target", json::Json::array()}, {"actionDescription", false},
        {"transport", "TCP"}, {"transport", "quic"}, {"status", "Active"}, {"status", "open"},
        {"status", ""}, {"bytesSent", 1.5}, {"bytesSent", -1}, {"bytesSent", "1"},
        {"bytesSent", true}, {"bytesReceived", 1e20}, {"appPath", 5}, {"ruleName", 1},
        {"appIdentity", "valid"}, {"appIdentity", json::Json::object()},
    };
    for (const auto& c : cases) {
        auto object = json::parse(kFullRecord);
        if (c.value.is_null()) object.erase(c.key);
        else object[c.key] = c.value;
        EXPECT_THROW(ConnectionRecord::fromJson(object), JsonDecodeError)
            << c.key << " = " << c.value.dump();
    }
    EXPECT_THROW(ConnectionRecord::fromJson(json::Json::array()), JsonDecodeError);
    EXPECT_THROW(ConnectionRecord::fromJson("record"), JsonDecodeError);
}

TEST(ConnectionRecordTest, RecordListFailsAsAWhole) {
    const std::string good = toJson(bareRecord()).dump();
    auto bad = toJson(bareRecord());
    bad.erase("bytesSent");
    EXPECT_THROW(decodeRecordList("[" + good + "," + bad.dump() + "]"), JsonDecodeError);
    EXPECT_THROW(decodeRecordList(good), JsonDecodeError);  // not an array
    EXPECT_THROW(decodeRecordList("[" + good), JsonDecodeError);
    EXPECT_THROW(decodeRecordList("[18446744073709551616]"), JsonDecodeError);
    EXPECT_TRUE(decodeRecordList("[]").empty());
    EXPECT_EQ(encodeRecordList({}), "[]");
}

TEST(ConnectionRecordTest, ADeeplyNestedRecordListIsRefusedBeforeItIsRead) {
    try {
        decodeRecordList(std::string(50000, '[') + std::string(50000, ']'));
        ADD_FAILURE() << "decoded";
    } catch (const JsonDecodeError& e) {
        EXPECT_STREQ(e.what(), "The data is nested more than 64 levels deep.");
    }
}

TEST(ConnectionRecordTest, EncodesTextThatIsNotUtf8WithReplacementCharacters) {
    ConnectionRecord record = bareRecord();
    record.appIdentifier = "bad\xFF" "name";
    record.appPath = std::string("/opt/\xC0\xAF");
    const auto decoded = decodeRecordList(encodeRecordList({record, bareRecord()}));
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[0].appIdentifier, "bad\uFFFDname");
    EXPECT_EQ(decoded[0].appPath, "/opt/\uFFFD\uFFFD");
    EXPECT_EQ(decoded[1], bareRecord());
}

TEST(ConnectionRecordTest, UnverifiedOnlyWithAnIdentityThatIsNotValid) {
    ConnectionRecord record = bareRecord();
    EXPECT_FALSE(record.hasUnverifiedIdentity());
    record.appIdentity = CodeIdentity{true, "TEAM123456", false};
    EXPECT_FALSE(record.hasUnverifiedIdentity());
    record.appIdentity = CodeIdentity::unverified;
    EXPECT_TRUE(record.hasUnverifiedIdentity());
    record.appIdentity = CodeIdentity{false, std::nullopt, true};
    EXPECT_TRUE(record.hasUnverifiedIdentity());
}

TEST(ConnectionStatusTest, RawValuesAndOrder) {
    const char* raw[] = {"active", "closed", "failed", "blocked"};
    for (std::size_t i = 0; i < allConnectionStatuses.size(); ++i) {
        EXPECT_EQ(toString(allConnectionStatuses[i]), raw[i]);
        EXPECT_EQ(connectionStatusFromString(raw[i]), allConnectionStatuses[i]);
    }
    EXPECT_EQ(connectionStatusFromString("Closed"), std::nullopt);
    EXPECT_EQ(connectionStatusFromString("closed "), std::nullopt);
    EXPECT_LT(ConnectionStatus::active, ConnectionStatus::closed);
    EXPECT_LT(ConnectionStatus::failed, ConnectionStatus::blocked);
}

}  // namespace
}  // namespace corvane
