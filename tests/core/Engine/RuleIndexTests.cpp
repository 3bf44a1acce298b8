#include "CorvaneCore/Engine/RuleIndex.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

Rule makeRule(std::vector<std::string> applications, std::vector<std::string> hosts,
              RuleMatchMode mode = RuleMatchMode::all) {
    Rule rule;
    rule.applications = std::move(applications);
    rule.hosts = std::move(hosts);
    rule.matchMode = mode;
    return rule;
}

std::vector<std::size_t> tried(const RuleIndex& index, const FlowDescriptor& flow) {
    std::vector<std::size_t> positions;
    index.findFirst(FlowFacts(flow), [&positions](std::size_t position) {
        positions.push_back(position);
        return false;
    });
    return positions;
}

TEST(RuleIndexTest, TriesOnlyTheRulesAFlowCouldMatch) {
    Rule disabled = makeRule({}, {});
    disabled.isEnabled = false;
    const RuleIndex index({
        makeRule({"com.vendor.*"}, {}),                                   // 0: "com.vend"
        makeRule({}, {"*.Example.ORG"}),                                  // 1: ".example.org", "example.org"
        makeRule({}, {"10.0.0.0/8"}),                                     // 2: addresses from 10
        makeRule({"*"}, {}),                                              // 3: no key: always
        disabled,                                                         // 4: never
        makeRule({"org.mozilla.*"}, {"*.mozilla.net"}, RuleMatchMode::any),  // 5: either list's keys
        makeRule({"org.mozilla.*"}, {"*"}, RuleMatchMode::any),           // 6: "*" has no key: always
        makeRule({}, {}),                                                 // 7: always
        makeRule({"SSH"}, {"*"}),                                         // 8: "ssh" (all: the applications suffice)
    });
    struct Case {
        FlowDescriptor flow;
        std::vector<std::size_t> positions;
    };
    const std::vector<Case> cases = {
        {{.appIdentifier = "com.vendor.app", .remoteHostname = "api.example.org"}, {0, 1, 3, 6, 7}},
        {{.appIdentifier = "ssh", .remoteAddress = IPAddressValue::fromString("10.1.2.3")}, {2, 3, 6, 7, 8}},
        {{.appIdentifier = "x", .remoteHostname = "10.9.9.9"}, {2, 3, 6, 7}},
        {{.appIdentifier = "org.mozilla.firefox", .remoteHostname = "cdn.mozilla.net"}, {3, 5, 6, 7}},
        {{.remoteHostname = "EXAMPLE.org"}, {1, 3, 6, 7}},
        {{.appPath = "/usr/bin/ssh", .remoteHostname = "mozilla.net"}, {3, 5, 6, 7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flow.targetDescription());
        EXPECT_EQ(tried(index, c.flow), c.positions);
    }
}

TEST(RuleIndexTest, StopsAtTheFirstRuleThatMatches) {
    const RuleIndex index({makeRule({}, {}), makeRule({}, {}), makeRule({}, {})});
    std::vector<std::size_t> positions;
    const auto first = index.findFirst(FlowFacts(FlowDescriptor{}), [&positions](std::size_t position) {
        positions.push_back(position);
        return position == 1;
    });
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(positions, (std::vector<std::size_t>{0, 1}));
}

}  // namespace
}  // namespace corvane
