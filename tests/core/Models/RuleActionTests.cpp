#include "CorvaneCore/Models/RuleAction.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

namespace corvane {
namespace {

const UUID idA = *UUID::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
const UUID idB = *UUID::fromString("0B6C4F1A-2D3E-4F50-8A9B-C1D2E3F40516");

TEST(RuleActionTest, JsonFormOfEveryCase) {
    struct Case {
        RuleAction action;
        const char* json;
    };
    const Case cases[] = {
        {RuleAction::direct(), R"({"direct":{}})"},
        {RuleAction::block(), R"({"block":{}})"},
        {RuleAction::proxy(idA), R"({"proxy":{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"}})"},
        {RuleAction::chain({idA, idB}),
         R"({"chain":{"ids":["E621E1F8-C36C-495A-93FC-0C247A3E6E5F","0B6C4F1A-2D3E-4F50-8A9B-C1D2E3F40516"]}})"},
        {RuleAction::failover({}), R"({"failover":{"ids":[]}})"},
        {RuleAction::failover({idB, idA}),
         R"({"failover":{"ids":["0B6C4F1A-2D3E-4F50-8A9B-C1D2E3F40516","E621E1F8-C36C-495A-93FC-0C247A3E6E5F"]}})"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toJson(c.action).dump(), c.json);
        EXPECT_EQ(RuleAction::fromJson(json::parse(c.json)), c.action) << c.json;
    }
}

TEST(RuleActionTest, ReadingIgnoresKeysThatAreNoCaseNames) {
    EXPECT_EQ(RuleAction::fromJson(json::parse(R"({"direct":{},"foo":1})")), RuleAction::direct());
    EXPECT_EQ(RuleAction::fromJson(json::parse(R"({"block":{"reason":"x"}})")), RuleAction::block());
    EXPECT_EQ(RuleAction::fromJson(json::parse(R"({"proxy":{"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","x":2}})")),
              RuleAction::proxy(idA));
}

TEST(RuleActionTest, CaseKeyCountOtherThanOneFailsWithItsMessage) {
    for (const char* text : {R"({})", R"({"foo":{}})", R"({"direct":{},"block":{}})",
                             R"({"proxy":{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},"chain":{"ids":[]}})",
                             R"({"Direct":{}})"}) {
        try {
            RuleAction::fromJson(json::parse(text));
            ADD_FAILURE() << "decoded " << text;
        } catch (const JsonDecodeError& error) {
            EXPECT_STREQ(error.what(), "Invalid number of keys found, expected one.") << text;
        }
    }
}

TEST(RuleActionTest, MalformedPayloadsFail) {
    for (const char* text : {R"({"direct":null})", R"({"direct":[]})", R"({"block":true})", R"({"proxy":{}})",
                             R"({"proxy":{"id":"nope"}})", R"({"proxy":{"id":null}})", R"({"chain":{}})",
                             R"({"failover":{"ids":null}})", R"({"chain":{"ids":["nope"]}})",
                             R"({"chain":{"ids":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"}})", R"("direct")", "[]"}) {
        EXPECT_THROW(RuleAction::fromJson(json::parse(text)), JsonDecodeError) << text;
    }
}

TEST(RuleActionTest, ProxyIDs) {
    EXPECT_TRUE(RuleAction::direct().proxyIDs().empty());
    EXPECT_TRUE(RuleAction::block().proxyIDs().empty());
    EXPECT_EQ(RuleAction::proxy(idA).proxyIDs(), std::vector<UUID>{idA});
    EXPECT_EQ(RuleAction::chain({idB, idA, idB}).proxyIDs(), (std::vector<UUID>{idB, idA, idB}));
    EXPECT_EQ(RuleAction::failover({idA, idB}).proxyIDs(), (std::vector<UUID>{idA, idB}));
    EXPECT_TRUE(RuleAction::chain({}).proxyIDs().empty());
}

TEST(RuleActionTest, ChainAndFailoverAreDistinct) {
    EXPECT_NE(RuleAction::chain({idA}), RuleAction::failover({idA}));
    EXPECT_NE(RuleAction::chain({}), RuleAction::failover({}));
    EXPECT_NE(RuleAction::direct(), RuleAction::block());
    EXPECT_NE(RuleAction::proxy(idA), RuleAction::chain({idA}));
    EXPECT_NE(RuleAction::chain({idA, idB}), RuleAction::chain({idB, idA}));
    EXPECT_EQ(RuleAction(), RuleAction::direct());
    EXPECT_EQ(RuleAction(RuleAction::Chain{{idA}}), RuleAction::chain({idA}));
    EXPECT_EQ(RuleAction::failover({idA}).kind(), RuleAction::Kind::failover);

    const std::unordered_set<RuleAction> set{RuleAction::direct(),       RuleAction::block(),
                                             RuleAction::chain({idA}),   RuleAction::failover({idA}),
                                             RuleAction::proxy(idA),     RuleAction::chain({idA}),
                                             RuleAction::chain({}),      RuleAction::failover({})};
    EXPECT_EQ(set.size(), 7u);
}

}  // namespace
}  // namespace corvane
