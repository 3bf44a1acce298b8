#include <gtest/gtest.h>

#include "Presenters/Rules/ChainEditorPresenter.hpp"
#include "Support/Profiles.hpp"

namespace corvane::app::testing {
namespace {

class ChainEditorPresenterTest : public ::testing::Test {
protected:
    const ProxyServer a = proxyNamed("A", std::nullopt, "a.example", 1080);
    ProxyServer b = proxyNamed("B", std::nullopt, "b.example", 8080);
    const ProxyServer c = proxyNamed("C", std::nullopt, "2001:db8::1", 1080);

    void SetUp() override { b.kind = ProxyProtocol::httpConnect; }

    ChainEditorPresenter editor(ProxyListPurpose purpose, std::vector<UUID> chain = {}) const {
        return ChainEditorPresenter({a, b, c}, purpose, std::move(chain));
    }
    static std::vector<std::string> roles(const ChainEditorPresenter& editor) {
        std::vector<std::string> roles;
        for (const auto& hop : editor.hops()) roles.push_back(hop.number + " " + hop.name + " " + hop.role);
        return roles;
    }
};

TEST_F(ChainEditorPresenterTest, RolesFollowPositionAndPurpose) {
    struct Case {
        ProxyListPurpose purpose;
        std::vector<UUID> chain;
        std::vector<std::string> roles;
    };
    const UUID removed = UUID::random();
    const std::vector<Case> cases = {
        {ProxyListPurpose::chain, {a.id}, {"1 A → destination"}},
        {ProxyListPurpose::chain, {a.id, b.id}, {"1 A → B", "2 B → destination"}},
        {ProxyListPurpose::chain, {c.id, a.id, b.id}, {"1 C → A", "2 A → B", "3 B → destination"}},
        {ProxyListPurpose::chain, {a.id, removed}, {"1 A → (removed)", "2 (removed) → destination"}},
        {ProxyListPurpose::failover, {a.id}, {"1 A primary"}},
        {ProxyListPurpose::failover, {a.id, b.id}, {"1 A primary", "2 B last resort"}},
        {ProxyListPurpose::failover, {c.id, a.id, b.id}, {"1 C primary", "2 A then", "3 B last resort"}},
        {ProxyListPurpose::failover, {removed, a.id}, {"1 (removed) primary", "2 A last resort"}},
    };
    for (const Case& item : cases) EXPECT_EQ(roles(editor(item.purpose, item.chain)), item.roles);
}

TEST_F(ChainEditorPresenterTest, TextsFollowThePurpose) {
    const auto chain = editor(ProxyListPurpose::chain);
    EXPECT_EQ(chain.header(), "Chain order");
    EXPECT_EQ(chain.footer(), "Drag to reorder. Traffic goes through the hops top to bottom.");
    EXPECT_EQ(chain.useTitle(), "Use Chain");
    EXPECT_EQ(chain.hint(), std::nullopt);
    EXPECT_EQ(editor(ProxyListPurpose::chain, {a.id}).hint(), "A single hop is just a normal proxy rule.");
    EXPECT_EQ(editor(ProxyListPurpose::chain, {a.id, b.id}).hint(), std::nullopt);

    const auto failover = editor(ProxyListPurpose::failover);
    EXPECT_EQ(failover.header(), "Preference order");
    EXPECT_EQ(failover.footer(),
              "Drag to reorder. The first proxy that accepts the connection carries it — the rest are spares. Only "
              "list proxies you would be equally happy to exit from.");
    EXPECT_EQ(failover.useTitle(), "Use Failover");
    EXPECT_EQ(editor(ProxyListPurpose::failover, {b.id}).hint(), "With one proxy there is nothing to fail over to.");
}

TEST_F(ChainEditorPresenterTest, AddingTakesProxiesOutOfTheAvailableSectionUntilItIsGone) {
    auto chain = editor(ProxyListPurpose::chain);
    EXPECT_FALSE(chain.canUse());
    auto available = chain.available();
    ASSERT_EQ(available.size(), 3u);
    EXPECT_EQ(available[0].detail, "SOCKS5 · a.example:1080");
    EXPECT_EQ(available[1].detail, "HTTPS (CONNECT) · b.example:8080");
    EXPECT_EQ(available[2].detail, "SOCKS5 · 2001:db8::1:1080");

    chain.add(b.id);
    chain.add(b.id);
    EXPECT_EQ(chain.chain(), std::vector<UUID>{b.id}) << "never twice";
    EXPECT_TRUE(chain.canUse());
    chain.add(c.id);
    chain.add(a.id);
    EXPECT_TRUE(chain.available().empty());
    chain.remove(c.id);
    available = chain.available();
    ASSERT_EQ(available.size(), 1u);
    EXPECT_EQ(available[0].name, "C");

    chain.add(c.id);
    chain.move({2}, 0);
    EXPECT_EQ(roles(chain), (std::vector<std::string>{"1 C → B", "2 B → A", "3 A → destination"}));
}

TEST_F(ChainEditorPresenterTest, ARemovedProxyIsNeverOfferedAndRemovingTakesEveryOccurrence) {
    const UUID removed = UUID::random();
    auto chain = editor(ProxyListPurpose::failover, {removed, a.id, removed});
    EXPECT_EQ(chain.available().size(), 2u);
    chain.remove(removed);
    EXPECT_EQ(chain.chain(), std::vector<UUID>{a.id});
    chain.remove(a.id);
    EXPECT_FALSE(chain.canUse());
}

}  // namespace
}  // namespace corvane::app::testing
