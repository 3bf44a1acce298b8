#include <limits>

#include "Support/ModelFixture.hpp"
#include "Support/Profiles.hpp"

namespace corvane::app::testing {
namespace {

constexpr const char* kHeader = "Time,Application,Target,Transport,Action,Rule,Status,BytesSent,BytesReceived";

ConnectionRecord csvRecord() {
    ConnectionRecord record = recordOf("org.example.App", 10, 20);
    record.target = "example.org:443";
    record.actionDescription = "Proxy: A";
    record.ruleName = "Web";
    record.status = ConnectionStatus::closed;
    return record;
}

TEST(ConnectionsCSV, EmptyListIsTheHeaderAlone) { EXPECT_EQ(AppState::connectionsCSV({}), kHeader); }

struct CSVCase {
    const char* name;
    std::function<void(ConnectionRecord&)> change;
    std::string line;
};

TEST(ConnectionsCSV, RecordLines) {
    const std::vector<CSVCase> cases = {
        {"plain", [](ConnectionRecord&) {},
         R"("2001-01-01T00:00:00Z","org.example.App","example.org:443","tcp","Proxy: A","Web","closed",10,20)"},
        {"no rule", [](ConnectionRecord& r) { r.ruleName.reset(); },
         R"("2001-01-01T00:00:00Z","org.example.App","example.org:443","tcp","Proxy: A","","closed",10,20)"},
        {"quote, comma and line feed",
         [](ConnectionRecord& r) {
             r.appIdentifier = "my \"app\"";
             r.target = "a,b\nc:1";
         },
         "\"2001-01-01T00:00:00Z\",\"my \"\"app\"\"\",\"a,b\nc:1\",\"tcp\",\"Proxy: A\",\"Web\",\"closed\",10,20"},
        {"largest counts",
         [](ConnectionRecord& r) {
             r.bytesSent = 0;
             r.bytesReceived = std::numeric_limits<std::uint64_t>::max();
         },
         R"("2001-01-01T00:00:00Z","org.example.App","example.org:443","tcp","Proxy: A","Web","closed",0,18446744073709551615)"},
        {"fraction of a second", [](ConnectionRecord& r) { r.startedAt = Date{0.9}; },
         R"("2001-01-01T00:00:00Z","org.example.App","example.org:443","tcp","Proxy: A","Web","closed",10,20)"},
        {"half a second before", [](ConnectionRecord& r) { r.startedAt = Date{-0.5}; },
         R"("2000-12-31T23:59:59Z","org.example.App","example.org:443","tcp","Proxy: A","Web","closed",10,20)"},
        {"a later date, udp, failed",
         [](ConnectionRecord& r) {
             r.startedAt = Date::fromUnix(1714552200);
             r.transport = TransportProtocol::udp;
             r.status = ConnectionStatus::failed;
         },
         R"("2024-05-01T08:30:00Z","org.example.App","example.org:443","udp","Proxy: A","Web","failed",10,20)"},
        {"formula-like fields",
         [](ConnectionRecord& r) {
             r.appIdentifier = "=1+1";
             r.target = "@SUM(A1)";
             r.ruleName = "-2";
         },
         R"csv("2001-01-01T00:00:00Z","'=1+1","'@SUM(A1)","tcp","Proxy: A","'-2","closed",10,20)csv"},
    };
    for (const CSVCase& c : cases) {
        ConnectionRecord record = csvRecord();
        c.change(record);
        EXPECT_EQ(AppState::connectionsCSV({record}), std::string(kHeader) + "\n" + c.line) << c.name;
    }
}

TEST(ConnectionsCSV, LinesFollowTheGivenOrderWithoutATrailingLineFeed) {
    ConnectionRecord first = csvRecord();
    ConnectionRecord second = csvRecord();
    second.appIdentifier = "second";
    const std::string csv = AppState::connectionsCSV({second, first});
    EXPECT_LT(csv.find("\"second\""), csv.find("\"org.example.App\""));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2);
    EXPECT_NE(csv.back(), '\n');
}

class ActionLabel : public ModelFixture {};

TEST_F(ActionLabel, NamesProxiesFromTheCurrentProfile) {
    auto state = startedState();
    const ProxyServer a = proxyNamed("A");
    const ProxyServer b = proxyNamed("B");
    const ProxyServer c = proxyNamed("C");
    state->setProfile(profileWith({a, b, c}));
    const UUID missing = UUID::random();
    const std::vector<std::pair<RuleAction, std::string>> cases = {
        {RuleAction::direct(), "Direct"},
        {RuleAction::block(), "Block"},
        {RuleAction::proxy(b.id), "Proxy: B"},
        {RuleAction::proxy(missing), "Proxy: (missing)"},
        {RuleAction::chain({a.id, missing}), "Chain: A → (missing)"},
        {RuleAction::chain({a.id, b.id, c.id}), "Chain: A → B → C"},
        {RuleAction::failover({a.id, b.id, c.id}), "Failover: A, then B, then C"},
        {RuleAction::chain({}), "Chain: "},
        {RuleAction::failover({}), "Failover: "},
    };
    for (const auto& [action, label] : cases) EXPECT_EQ(state->actionLabel(action), label) << label;
}

}  // namespace
}  // namespace corvane::app::testing
