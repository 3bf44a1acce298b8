// The Connections page's filter: status, and the search text as typed over the
// joined identifier, target, action and rule name.
#include <gtest/gtest.h>

#include "Presenters/Connections/ConnectionFilter.hpp"
#include "Support/Records.hpp"

namespace corvane::app::testing {
namespace {

TEST(ConnectionFilterTest, SearchesTheJoinedFieldsAsTypedIgnoringCase) {
    ConnectionRecord proxied = shownRecord("org.mozilla.firefox", "example.org:443", "Proxy: Office", "Work");
    proxied.appPath = "/usr/lib/firefox/firefox-bin";
    const ConnectionRecord blocked =
        shownRecord("curl", "10.0.0.5:80", "Block", std::nullopt, ConnectionStatus::blocked);
    const struct {
        const char* search;
        bool proxiedPasses;
        bool blockedPasses;
    } cases[] = {
        {"", true, true},
        {" ", true, true},          // the joined text always holds spaces
        {"org:443 pro", true, false},  // across the target and the action
        {"BLOCK", false, true},
        {"firefox-bin", false, false},  // the path is not searched
        {"work", true, false},
        {"block ", false, true},      // a missing rule joins as empty text after the space
        {"block  ", false, false},
        {" curl", false, false},      // not trimmed
        {"closed", false, false},     // nor the status
    };
    for (const auto& c : cases) {
        const ConnectionFilter filter{c.search, std::nullopt};
        EXPECT_EQ(filter.accepts(proxied), c.proxiedPasses) << "“" << c.search << "”";
        EXPECT_EQ(filter.accepts(blocked), c.blockedPasses) << "“" << c.search << "”";
    }
}

TEST(ConnectionFilterTest, TheStatusAndTheSearchMustBothPassAndTheOrderIsKept) {
    const ConnectionRecord a = shownRecord("a", "x.example:1", "Direct", "R", ConnectionStatus::failed);
    const ConnectionRecord b = shownRecord("b", "y.example:1", "Direct", "R", ConnectionStatus::active);
    const ConnectionRecord c = shownRecord("c", "x.example:2", "Direct", "R", ConnectionStatus::failed);
    const std::vector records{a, b, c};
    EXPECT_EQ((ConnectionFilter{"", ConnectionStatus::failed}.apply(records)), (std::vector{a, c}));
    EXPECT_EQ((ConnectionFilter{"x.example", std::nullopt}.apply(records)), (std::vector{a, c}));
    EXPECT_EQ((ConnectionFilter{"x.example:2", ConnectionStatus::failed}.apply(records)), std::vector{c});
    EXPECT_TRUE((ConnectionFilter{"y.example", ConnectionStatus::failed}.apply(records)).empty());
}

}  // namespace
}  // namespace corvane::app::testing
