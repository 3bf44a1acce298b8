// The simulator page's widgets: the fields drive the trace, the placeholder and
// the verdicts, and a look at a proxy, a chain and a block verdict.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>

#include "Support/PageFixture.hpp"
#include "Support/Profiles.hpp"
#include "Views/Common/ContentPlaceholder.hpp"
#include "Views/Simulator/SimulatorPage.hpp"
#include "Views/Simulator/TraceRow.hpp"
#include "Views/Support/Screenshot.hpp"

namespace corvane::app::testing {
namespace {

class SimulatorPageTest : public PageFixture {
protected:
    const ProxyServer office = proxyNamed("Office");
    const ProxyServer home = proxyNamed("Home");

    void SetUp() override {
        Profile profile = profileWith({office, home}, RuleAction::direct());
        profile.rules = {ruleNamed("Old VPN", RuleAction::proxy(home.id), {"*.corp.example"}, {}, false),
                         ruleNamed("Local network", RuleAction::direct(), {"10.0.0.0/8", "192.168.0.0/16"}),
                         ruleNamed("Work sites", RuleAction::proxy(office.id), {"example.com", "*.example.com"}),
                         ruleNamed("Calls", RuleAction::chain({office.id, home.id}), {"meet.example.net"}),
                         ruleNamed("No trackers", RuleAction::block(), {"*.ads.example"})};
        state->setProfile(profile);
        page.resize(860, 560);
        page.show();
        settle();
    }

    SimulatorPage page{*state};

    bool showsPlaceholder() const { return page.placeholder()->isVisible(); }
    int shownRows() const { return static_cast<int>(page.traceList()->findChildren<TraceRow*>().size()); }
    bool showsDefaultRow() const { return page.traceList()->findChild<QWidget*>("defaultRow") != nullptr; }
};

TEST_F(SimulatorPageTest, TheFieldsDriveTheTraceAndTheVerdict) {
    EXPECT_EQ(page.hostField()->text(), "example.com");
    EXPECT_EQ(page.portField()->text(), "443");
    EXPECT_EQ(page.applicationField()->placeholderText(), "firefox or /usr/bin/curl — empty for any");
    EXPECT_EQ(page.verdictText(), "Proxy: Office\nvia rule “Work sites”");
    EXPECT_EQ(shownRows(), 3);
    EXPECT_FALSE(showsDefaultRow());
    saveScreenshot(page, "simulator-proxy");

    page.hostField()->setText("meet.example.net");
    EXPECT_EQ(page.verdictText(), "Chain: Office → Home\nvia rule “Calls”");
    saveScreenshot(page, "simulator-chain");

    page.hostField()->setText("pixel.ads.example");
    EXPECT_EQ(page.verdictText(), "Block\nvia rule “No trackers”");
    EXPECT_EQ(shownRows(), 5);
    saveScreenshot(page, "simulator-block");

    page.hostField()->setText("elsewhere.example.org");
    EXPECT_EQ(page.verdictText(), "Direct\nvia default action");
    EXPECT_TRUE(showsDefaultRow());

    page.portField()->setText("65536");
    EXPECT_TRUE(showsPlaceholder());
    EXPECT_EQ(page.placeholder()->title(), "Enter a valid port to simulate");
    page.portField()->setText(" 53 ");
    EXPECT_FALSE(showsPlaceholder());
    page.transportButtons()->button(static_cast<int>(TransportProtocol::udp))->click();
    EXPECT_EQ(page.presenter().transport(), TransportProtocol::udp);
    EXPECT_EQ(page.presenter().trace()->steps.size(), 5u);
    page.hostField()->setText("  ");
    EXPECT_TRUE(showsPlaceholder());
}

TEST_F(SimulatorPageTest, AProfileChangeShowsWhenThePageAppearsAgain) {
    Profile profile = state->profile();
    profile.rules.clear();
    state->setProfile(profile);
    EXPECT_EQ(page.verdictText(), "Proxy: Office\nvia rule “Work sites”");
    page.hide();
    page.show();
    settle();
    EXPECT_EQ(page.verdictText(), "Direct\nvia default action");
    EXPECT_EQ(shownRows(), 0);
    EXPECT_TRUE(showsDefaultRow());
    saveScreenshot(page, "simulator-default");
}

// A program named by a name no verified program backs: the trace says why
// the rule for that name does not apply.
TEST_F(SimulatorPageTest, AnUnverifiedProgramsRowSaysWhyItsRuleDoesNotApply) {
    Profile profile = state->profile();
    profile.rules.insert(profile.rules.begin(),
                         ruleNamed("Browser", RuleAction::block(), {"example.com"}, {"org.mozilla.firefox"}));
    state->setProfile(profile);
    page.hide();
    page.show();
    settle();
    page.applicationField()->setText("org.mozilla.firefox");
    EXPECT_EQ(page.verdictText(), "Proxy: Office\nvia rule “Work sites”");
    const auto rows = page.traceList()->findChildren<TraceRow*>();
    ASSERT_FALSE(rows.empty());
    QStringList texts;
    for (const QLabel* label : rows.front()->findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.join('\n').contains("claims to be “org.mozilla.firefox”, signature not verified")) << texts.join('\n').toStdString();
    saveScreenshot(page, "simulator-unverified-program");
}

}  // namespace
}  // namespace corvane::app::testing
