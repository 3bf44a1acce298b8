// The Proxies page and the proxy editor as widgets: the empty state, the
// health marks, the periodic checks bound to the page being shown, the
// editor's Save, and a look at each.
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "Presenters/EditorFixture.hpp"
#include "Support/Profiles.hpp"
#include "Views/Proxies/ProxiesPage.hpp"
#include "Views/Proxies/ProxyEditorDialog.hpp"
#include "Views/Proxies/ProxyRow.hpp"
#include "Views/Proxies/ProxyTestIndicator.hpp"
#include "Views/Support/Screenshot.hpp"

namespace corvane::app::testing {
namespace {

using namespace std::chrono_literals;
using Kind = ProxyTestState::Kind;

class ProxiesViewTest : public EditorFixture {
protected:
    ProxyServer proxyOf(std::string name, std::string host, std::uint16_t port, ProxyProtocol kind,
                        bool auth = false) {
        ProxyServer proxy = proxyNamed(std::move(name), std::nullopt, std::move(host), port);
        proxy.kind = kind;
        if (auth) proxy.credentials = ProxyCredentials{"", ""};
        return proxy;
    }
    void finish(std::size_t probe, ProxyProber::Outcome outcome) {
        prober.probes.at(probe).finish(std::move(outcome));
        settle();
    }
};

TEST_F(ProxiesViewTest, AnEmptyListShowsItsStateAndOnlyAddProxy) {
    start(profileWith({}));
    ProxiesPage page(*state);
    page.resize(640, 360);
    EXPECT_TRUE(page.isShowingEmptyState());
    EXPECT_FALSE(page.checkAllAction()->isEnabled());
    EXPECT_TRUE(page.addProxyAction()->isEnabled());
    saveScreenshot(page, "proxies-page-empty");

    page.addProxy();
    ProxyEditorDialog* editor = page.editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->size(), QSize(440, 430));
    EXPECT_EQ(editor->nameField()->text(), "New Proxy");
    EXPECT_EQ(editor->portField()->text(), "1080");
    EXPECT_FALSE(editor->saveButton()->isEnabled()) << "no host yet";
    editor->hostField()->setText("proxy.example.com");
    emit editor->hostField()->textEdited("proxy.example.com");
    EXPECT_TRUE(editor->saveButton()->isEnabled());
    EXPECT_EQ(savesDuring([&] { editor->saveButton()->click(); }), 1u);
    EXPECT_FALSE(page.isShowingEmptyState());
    EXPECT_TRUE(page.checkAllAction()->isEnabled());
    ASSERT_EQ(state->profile().proxies.size(), 1u);
    EXPECT_EQ(page.row(0)->subtitle(), "SOCKS5 · proxy.example.com:1080");
}

TEST_F(ProxiesViewTest, RowsShowEachHealthStateAndChecksRunOnlyWhileShown) {
    start(profileWith({proxyOf("Office", "office.example", 1080, ProxyProtocol::socks5),
                       proxyOf("Travel", "203.0.113.7", 3128, ProxyProtocol::httpConnect, true),
                       proxyOf("Home", "home.example", 1080, ProxyProtocol::socks5),
                       proxyOf("Backup", "backup.example", 9050, ProxyProtocol::socks5)}));
    auto page = std::make_unique<ProxiesPage>(*state);
    page->resize(640, 360);
    EXPECT_TRUE(prober.probes.empty());
    page->show();
    settle();
    ASSERT_EQ(prober.probes.size(), 4u) << "the checks start when the page shows";
    finish(0, ProxyProber::Established{std::chrono::microseconds(12900)});
    finish(1, ProxyProber::Failed{"Connection refused — nothing is listening on that port."});
    finish(3, ProxyProber::Established{42ms});
    state->proxyHealth().invalidate(state->profile().proxies[3].id);
    settle();

    const std::vector<std::pair<Kind, QString>> shown = {
        {Kind::success, "12 ms"}, {Kind::failure, "Failed"}, {Kind::testing, ""}, {Kind::idle, ""}};
    const QStringList spoken = {"Reachable, 12 ms", "Connection refused — nothing is listening on that port.",
                                "Testing…", "Not tested"};
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(page->row(row)->indicator()->kind(), shown[row].first) << row;
        EXPECT_EQ(page->row(row)->indicator()->text(), shown[row].second) << row;
        EXPECT_EQ(page->row(row)->indicator()->accessibleDescription(), spoken[row]) << row;
    }
    EXPECT_EQ(page->row(0)->indicator()->toolTip(), "Handshake through the proxy succeeded in 12 ms");
    EXPECT_EQ(page->row(1)->indicator()->toolTip(), "Connection refused — nothing is listening on that port.");
    EXPECT_EQ(page->row(1)->subtitle(), "HTTPS (CONNECT) · 203.0.113.7:3128 · auth");
    saveScreenshot(*page, "proxies-page");

    scheduler.advance(60s);
    EXPECT_EQ(prober.probes.size(), 8u);
    page->hide();
    scheduler.advance(10min);
    EXPECT_EQ(prober.probes.size(), 8u) << "no checks while the page is hidden";
    page->show();
    EXPECT_EQ(prober.probes.size(), 12u);
    page.reset();
    scheduler.advance(10min);
    EXPECT_EQ(prober.probes.size(), 12u) << "the checks end with the page";
}

// A screen reader hears each row as a list item with its proxy and health,
// and reaches the row's Test button below it, which tests that proxy.
TEST_F(ProxiesViewTest, RowsTellScreenReadersTheProxyAndItsHealthAndOfferTheirTestButton) {
    start(profileWith({proxyOf("Office", "office.example", 1080, ProxyProtocol::socks5),
                       proxyOf("Travel", "203.0.113.7", 3128, ProxyProtocol::httpConnect, true)}));
    ProxiesPage page(*state);
    page.resize(640, 360);
    page.show();
    settle();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(page.findChild<QListWidget*>("proxies"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->childCount(), 2);
    EXPECT_EQ(list->child(0)->text(QAccessible::Name), "Office, SOCKS5 · office.example:1080")
        << "no health text while testing";

    finish(0, ProxyProber::Established{12ms});
    finish(1, ProxyProber::Failed{"Connection refused — nothing is listening on that port."});
    EXPECT_EQ(list->child(0)->text(QAccessible::Name), "Office, SOCKS5 · office.example:1080, 12 ms");
    EXPECT_EQ(list->child(0)->text(QAccessible::Description), "Handshake through the proxy succeeded in 12 ms");
    EXPECT_EQ(list->child(1)->text(QAccessible::Name), "Travel, HTTPS (CONNECT) · 203.0.113.7:3128 · auth, Failed");
    EXPECT_EQ(list->child(1)->text(QAccessible::Description),
              "Connection refused — nothing is listening on that port.");

    page.list()->setCurrentRow(1);
    for (int row = 0; row < 2; ++row) {
        SCOPED_TRACE(row);
        QAccessibleInterface* item = list->child(row);
        EXPECT_EQ(item->role(), QAccessible::ListItem);
        EXPECT_EQ(item->parent(), list);
        EXPECT_EQ(list->indexOfChild(item), row);
        EXPECT_EQ(item->state().selected, row == 1);
        QAccessibleInterface* test = nullptr;
        for (int at = 0; at < item->childCount(); ++at) {
            QAccessibleInterface* control = item->child(at);
            if (control->role() == QAccessible::Button && control->text(QAccessible::Name) == "Test") test = control;
        }
        ASSERT_NE(test, nullptr) << "the row's Test button is out of a screen reader's reach";
        const std::size_t before = prober.probes.size();
        // A pressed button clicks after its short press animation.
        test->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        ASSERT_TRUE(QTest::qWaitFor([&] { return prober.probes.size() == before + 1; }));
        EXPECT_EQ(prober.probes.back().proxy.name, state->profile().proxies[static_cast<std::size_t>(row)].name);
    }
}

TEST_F(ProxiesViewTest, TheEditorsSaveFollowsThePortAndTheProtocolHidesTheResolveOption) {
    ProxyServer proxy = proxyOf("Office", "office.example", 1080, ProxyProtocol::socks5);
    proxy.credentials = ProxyCredentials{"alice", "pw"};
    start(profileWith({proxy}));
    ProxiesPage page(*state);
    page.editRow(0);
    ProxyEditorDialog* editor = page.editor();
    ASSERT_NE(editor, nullptr);
    editor->show();
    settle();
    EXPECT_TRUE(editor->requiresAuthentication()->isChecked());
    EXPECT_EQ(editor->usernameField()->text(), "alice");
    EXPECT_TRUE(editor->resolveRemotely()->isVisible());
    saveScreenshot(*editor, "proxies-proxy-editor");

    for (const QString& text : {QString(" 1080"), QString("1080 "), QString("65536"), QString("")}) {
        editor->portField()->setText(text);
        emit editor->portField()->textEdited(text);
        EXPECT_FALSE(editor->saveButton()->isEnabled()) << text.toStdString();
    }
    editor->portField()->setText("+3128");
    emit editor->portField()->textEdited("+3128");
    EXPECT_TRUE(editor->saveButton()->isEnabled());

    editor->protocolPicker()->setCurrentIndex(1);
    EXPECT_EQ(editor->presenter().proxy().kind, ProxyProtocol::socks5) << "only a choice of the user counts";
    emit editor->protocolPicker()->activated(1);
    EXPECT_FALSE(editor->resolveRemotely()->isVisible());
    EXPECT_EQ(editor->portField()->text(), "+3128");
    editor->requiresAuthentication()->setChecked(false);
    EXPECT_FALSE(editor->usernameField()->isVisible());
    settle();
    saveScreenshot(*editor, "proxies-proxy-editor-http");

    EXPECT_EQ(savesDuring([&] { editor->saveButton()->click(); }), 1u);
    const ProxyServer& saved = state->profile().proxies[0];
    EXPECT_EQ(saved.kind, ProxyProtocol::httpConnect);
    EXPECT_EQ(saved.port, 3128);
    EXPECT_EQ(saved.credentials, std::nullopt);
    EXPECT_EQ(page.row(0)->subtitle(), "HTTPS (CONNECT) · office.example:3128");
}

}  // namespace
}  // namespace corvane::app::testing
