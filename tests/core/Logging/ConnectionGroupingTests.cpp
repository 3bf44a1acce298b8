#include "CorvaneCore/Logging/ConnectionGrouping.hpp"

#include "RecordFixtures.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace corvane {
namespace {

using testing::makeRecord;
using S = ConnectionStatus;

std::vector<std::string> groupIds(const std::vector<ConnectionGroup>& groups) {
    std::vector<std::string> ids;
    for (const auto& group : groups) ids.push_back(group.id);
    return ids;
}

ConnectionGroup onlyGroup(const std::vector<ConnectionRecord>& records) {
    const auto groups = ConnectionGrouping::byApplication(records);
    EXPECT_EQ(groups.size(), 1u);
    return groups.empty() ? ConnectionGroup{} : groups.front();
}

TEST(ConnectionGroupingTest, NoRecordsGiveNoGroups) {
    EXPECT_TRUE(ConnectionGrouping::byApplication({}).empty());
}

TEST(ConnectionGroupingTest, OrdersGroupsAndRecordsNewestFirst) {
    const auto bOld = makeRecord("b", 30);
    const auto aOld = makeRecord("a", 10);
    const auto aNew1 = makeRecord("a", 50);
    const auto aNew2 = makeRecord("a", 50);  // same time: keeps its place after aNew1
    const auto aMid = makeRecord("a", 20);
    const auto groups = ConnectionGrouping::byApplication({bOld, aOld, aNew1, aNew2, aMid});
    ASSERT_EQ(groupIds(groups), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(groups[0].records, (std::vector<ConnectionRecord>{aNew1, aNew2, aMid, aOld}));
    EXPECT_EQ(groups[0].latestAt, Date{50});
    EXPECT_EQ(groups[0].appIdentifier, "a");
    EXPECT_EQ(groups[0].connectionCount(), 4u);
    EXPECT_EQ(groups[1].records, (std::vector<ConnectionRecord>{bOld}));
    EXPECT_EQ(groups[1].latestAt, Date{30});
}

TEST(ConnectionGroupingTest, GroupsByExactIdentifierAndKeepsFirstAppearanceOnTies) {
    const auto groups = ConnectionGrouping::byApplication({
        makeRecord("org.example.Mail", 5), makeRecord("org.example.mail", 7),
        makeRecord("zeta", 7), makeRecord("org.example.Mail", 7), makeRecord("alpha", 7),
    });
    EXPECT_EQ(groupIds(groups),
              (std::vector<std::string>{"org.example.Mail", "org.example.mail", "zeta", "alpha"}));
    EXPECT_EQ(groups[0].connectionCount(), 2u);
}

TEST(ConnectionGroupingTest, SumsBytesAndCountsStatuses) {
    const auto group = onlyGroup({
        makeRecord("app", 1, S::active, std::nullopt, 100, 1000),
        makeRecord("app", 2, S::closed, std::nullopt, 20, 2000),
        makeRecord("app", 3, S::failed, std::nullopt, 3, 0),
        makeRecord("app", 4, S::blocked),
        makeRecord("app", 5, S::active),
    });
    EXPECT_EQ(group.bytesSent, 123u);
    EXPECT_EQ(group.bytesReceived, 3000u);
    EXPECT_EQ(group.activeCount, 2u);
    EXPECT_EQ(group.failedCount, 1u);
    EXPECT_EQ(group.blockedCount, 1u);
    EXPECT_EQ(group.connectionCount(), 5u);
}

TEST(ConnectionGroupingTest, ByteTotalsSaturateInsteadOfWrapping) {
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    const auto group = onlyGroup({
        makeRecord("app", 1, S::closed, std::nullopt, kMax, kMax - 1),
        makeRecord("app", 2, S::closed, std::nullopt, kMax, 2),
        makeRecord("app", 3, S::closed, std::nullopt, 5, 0),
    });
    EXPECT_EQ(group.bytesSent, kMax);
    EXPECT_EQ(group.bytesReceived, kMax);
}

TEST(ConnectionGroupTest, SubtitleNamesTheNonZeroCounts) {
    struct Case {
        std::vector<S> statuses;
        std::string subtitle;
    };
    const Case cases[] = {
        {{S::closed}, "1 connection"},
        {{S::active}, "1 connection \u00B7 1 active"},
        {{S::active, S::active, S::failed}, "3 connections \u00B7 2 active \u00B7 1 failed"},
        {{S::failed, S::blocked}, "2 connections \u00B7 1 blocked \u00B7 1 failed"},
        {{S::failed, S::blocked, S::active, S::closed},
         "4 connections \u00B7 1 active \u00B7 1 blocked \u00B7 1 failed"},
        {{S::closed, S::closed}, "2 connections"},
    };
    for (const auto& c : cases) {
        std::vector<ConnectionRecord> records;
        for (const S status : c.statuses) records.push_back(makeRecord("app", 1, status));
        EXPECT_EQ(onlyGroup(records).subtitle(), c.subtitle);
    }
    std::vector<ConnectionRecord> many(1234, makeRecord("app", 1, S::active));
    EXPECT_EQ(onlyGroup(many).subtitle(), "1234 connections \u00B7 1234 active");
}

TEST(ConnectionGroupingTest, RanksRuleNamesByUseThenByText) {
    struct Case {
        std::vector<std::pair<std::optional<std::string>, int>> names;  // name, records
        std::vector<std::string> ranked;
    };
    const Case cases[] = {
        {{{"B", 3}, {"A", 3}, {"C", 5}}, {"C", "A", "B"}},
        {{{"Only", 1}, {std::nullopt, 4}}, {"Only"}},
        {{{std::nullopt, 2}}, {}},
        {{{"a", 1}, {"B", 1}}, {"B", "a"}},  // upper-case ASCII first
        {{{"\u00C9cole", 2}, {"Zoo", 2}, {"zoo", 2}}, {"Zoo", "zoo", "\u00C9cole"}},
        {{{"Web", 1}, {"Mail", 2}, {"Web", 2}}, {"Web", "Mail"}},
    };
    for (const auto& c : cases) {
        std::vector<ConnectionRecord> records;
        double time = 0;
        for (const auto& [name, count] : c.names) {
            for (int i = 0; i < count; ++i) records.push_back(makeRecord("app", ++time, S::closed, name));
        }
        EXPECT_EQ(onlyGroup(records).ruleNames, c.ranked);
    }
}

TEST(ConnectionGroupingTest, SearchMatchesIdentifierTargetActionAndRuleName) {
    ConnectionRecord record = makeRecord("com.example.Mail", 1, S::active, "Office Rule");
    record.target = "imap.example.net:993";
    record.actionDescription = "Proxy: Berlin";
    record.appPath = "/opt/secret-path/mailer";
    struct Case {
        const char* query;
        bool matches;
    };
    const Case cases[] = {
        {"  MAIL ", true},      {"\tmail\u3000", true},  {"imap.EXAMPLE", true},
        {":993", true},          {"berlin", true},        {"office rule", true},
        {"secret-path", false},  {"active", false},       {"   ", true},
        {"", true},              {"m a i l", false},      {"mail\n", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConnectionGrouping::matches(record, c.query), c.matches) << c.query;
    }
    record.ruleName.reset();
    EXPECT_FALSE(ConnectionGrouping::matches(record, "office"));
    EXPECT_TRUE(ConnectionGrouping::matches(record, "mail"));
}

}  // namespace
}  // namespace corvane
