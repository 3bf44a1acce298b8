#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractItemView>
#include <QRect>

#include "Presenters/Rules/RulesPresenter.hpp"
#include "Views/Proxies/ProxiesPage.hpp"
#include "Support/FakeDesktopServices.hpp"
#include "Support/Profiles.hpp"
#include "Support/Records.hpp"
#include "Views/Support/ShellFixture.hpp"

namespace corvane::app::testing {

// The shell with two proxies and two rules (one of them off), the records the
// Connections page shows, and where a view's rows lie: what the looks of the
// pages are checked on.
class DesktopLookFixture : public ShellFixture {
protected:
    const ProxyServer office = proxyNamed("Office", std::nullopt, "office.example", 1080);
    const ProxyServer home = proxyNamed("Home", "secret", "home.example", 8080);
    FakeDesktopServices desktop;

    std::unique_ptr<AppShell> shellWithProfile() {
        auto shell = makeShell();
        Profile profile = profileWith({office, home});
        Rule web = RulesPresenter::newRule();
        web.name = "Work browser";
        web.applications = {"org.mozilla.firefox"};
        web.action = RuleAction::proxy(office.id);
        Rule off = RulesPresenter::newRule();
        off.name = "Old block";
        off.isEnabled = false;
        off.action = RuleAction::block();
        profile.rules = {web, off};
        shell->state().setProfile(profile);
        shell->state().saveProfile();
        settle();
        return shell;
    }

    // The engine runs and the model has fetched `records` (oldest first, as the daemon lists them).
    void showRecords(AppState& state, const std::vector<ConnectionRecord>& records) {
        state.extensionManager().start();
        settle();
        const std::string text = encodeRecordList(records);
        daemon.answer = [text](const platform::Bytes&) {
            return DaemonConnection::MessageResult{platform::Bytes(text.begin(), text.end()), std::nullopt};
        };
        auto poll = state.pollRecords();
        settle();
    }

    // The Proxies page on screen with its checks done: the first proxy
    // answered in 12 ms, the second refused.
    std::shared_ptr<ProxiesPage> proxiesPageChecked(AppShell& shell) {
        auto page = std::make_shared<ProxiesPage>(shell.state());
        page->resize(640, 300);
        page->show();
        settle();
        const std::size_t probes = prober.probes.size();
        prober.probes.at(probes - 2).finish(ProxyProber::Established{std::chrono::milliseconds(12)});
        prober.probes.at(probes - 1).finish(ProxyProber::Failed{"Connection refused"});
        settle();
        return page;
    }

    static QRect inView(const QAbstractItemView& view, const QWidget& shown, const QRect& row) {
        return QRect(view.viewport()->mapTo(&shown, row.topLeft()), row.size());
    }
    // The whole row of `index`, from the view's left edge (a tree's branch
    // marks included) to its last column.
    static QRect rowOf(const QAbstractItemView& view, const QWidget& shown, const QModelIndex& index) {
        const QModelIndex last = index.siblingAtColumn(view.model()->columnCount(index.parent()) - 1);
        QRect row = view.visualRect(index).united(view.visualRect(last));
        row.setLeft(0);
        return inView(view, shown, row);
    }
};

}  // namespace corvane::app::testing
