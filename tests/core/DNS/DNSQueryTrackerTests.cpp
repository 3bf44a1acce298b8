#include "CorvaneCore/DNS/DNSQueryTracker.hpp"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using Server = DNSQueryTracker::Server;
using Questions = std::vector<DNSMessage::Question>;

const Date kNow{1000};
const Server kServer{"10.0.0.53", 53};
const DNSMessage::Question kWWW{"www.target.test", DNSMessage::typeA, 1};

DNSMessage::Parsed query(std::uint16_t id, Questions questions = {kWWW}) {
    return {id, false, std::move(questions), {}};
}

DNSMessage::Parsed response(std::uint16_t id, Questions questions = {kWWW}) {
    return {id, true, std::move(questions), {}};
}

TEST(DNSQueryTrackerTest, AResponseAnswersOnlyTheQueryItsServerWasAsked) {
    struct Case {
        const char* name;
        Server from;
        DNSMessage::Parsed message;
        double after;  // seconds after the query
        bool answers;
    };
    const Case cases[] = {
        {"the answer", kServer, response(7), 1, true},
        {"the name in other letter case", kServer, response(7, {{"WWW.Target.TEST", DNSMessage::typeA, 1}}), 1, true},
        {"just before the query is forgotten", kServer, response(7), DNSQueryTracker::kQueryLifetime - 0.1, true},
        {"once the query is forgotten", kServer, response(7), DNSQueryTracker::kQueryLifetime, false},
        {"another transaction id", kServer, response(8), 1, false},
        {"another name", kServer, response(7, {{"www.other.test", DNSMessage::typeA, 1}}), 1, false},
        {"another type", kServer, response(7, {{kWWW.name, DNSMessage::typeAAAA, 1}}), 1, false},
        {"another class", kServer, response(7, {{kWWW.name, DNSMessage::typeA, 3}}), 1, false},
        {"no question", kServer, response(7, {}), 1, false},
        {"a question more", kServer, response(7, {kWWW, kWWW}), 1, false},
        {"another server", {"10.0.0.54", 53}, response(7), 1, false},
        {"another port of the server", {"10.0.0.53", 5353}, response(7), 1, false},
        {"a query, not a response", kServer, query(7), 1, false},
    };
    for (const Case& c : cases) {
        DNSQueryTracker tracker;
        tracker.sent(kServer, query(7), kNow);
        EXPECT_EQ(tracker.settle(c.from, c.message, kNow.addingTimeInterval(c.after)), c.answers) << c.name;
    }
}

TEST(DNSQueryTrackerTest, EachQuerySentIsAnsweredOnce) {
    DNSQueryTracker tracker;
    tracker.sent(kServer, query(7), kNow);
    tracker.sent(kServer, query(7), kNow);  // sent again, as resolvers retry
    EXPECT_TRUE(tracker.settle(kServer, response(7), kNow));
    EXPECT_TRUE(tracker.settle(kServer, response(7), kNow));
    EXPECT_FALSE(tracker.settle(kServer, response(7), kNow));
}

TEST(DNSQueryTrackerTest, ResponsesAndQueriesWithoutQuestionsAreNotRemembered) {
    DNSQueryTracker tracker;
    tracker.sent(kServer, response(7), kNow);
    tracker.sent(kServer, query(8, {}), kNow);
    EXPECT_FALSE(tracker.settle(kServer, response(7), kNow));
    EXPECT_FALSE(tracker.settle(kServer, response(8, {}), kNow));
}

TEST(DNSQueryTrackerTest, OnlyTheNewestQueriesAreKept) {
    DNSQueryTracker tracker;
    for (std::uint16_t id = 0; id <= DNSQueryTracker::kMaximumQueries; ++id) tracker.sent(kServer, query(id), kNow);
    EXPECT_FALSE(tracker.settle(kServer, response(0), kNow));
    EXPECT_TRUE(tracker.settle(kServer, response(1), kNow));
    EXPECT_TRUE(tracker.settle(kServer, response(DNSQueryTracker::kMaximumQueries), kNow));
}

}  // namespace
}  // namespace corvane
