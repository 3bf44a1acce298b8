// The Settings page's widgets: the default-action picker that must not write
// back what it cannot show, launch at login read from the autostart file each
// time, tray-only mode, updates, the profile checks, the acknowledgements sheet,
// and a look at both.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "Support/FakeDesktopServices.hpp"
#include "Support/Profiles.hpp"
#include "Views/Settings/AcknowledgementsSheet.hpp"
#include "Views/Settings/SettingsPage.hpp"
#include "Views/Support/Screenshot.hpp"
#include "Views/Support/ShellFixture.hpp"

namespace corvane::app::testing {
namespace {

class SettingsPageTest : public ShellFixture {
protected:
    std::unique_ptr<AppShell> shell = makeShell();
    AppState& state = shell->state();
    FakeDesktopServices desktop;
    SettingsPage page{shell->pageContext(), desktop};
    const ProxyServer office = proxyNamed("Office", "s3cret");
    const ProxyServer home = proxyNamed("Home");

    QPushButton* button(const QString& text) const {
        for (QPushButton* candidate : page.findChildren<QPushButton*>()) {
            if (candidate->text() == text) return candidate;
        }
        return nullptr;
    }
    QStringList sectionTitles() const {
        QStringList titles;
        for (const QGroupBox* box : page.findChildren<QGroupBox*>()) {
            if (!box->isHidden()) titles << box->title();
        }
        return titles;
    }
};

TEST_F(SettingsPageTest, TheSectionsFollowInOrderAndTheChecksOnlyWithIssues) {
    const QStringList withoutChecks{"Routing", "Startup", "Updates", "Tunnel Service", "About", "Profile"};
    state.setProfile(Profile::makeDefault());
    EXPECT_EQ(sectionTitles(), withoutChecks);
    state.setProfile(Profile::empty);
    EXPECT_EQ(sectionTitles(), QStringList{"Profile checks"} + withoutChecks);
    EXPECT_EQ(page.checksSection()->findChildren<QLabel*>().size(), 2) << "an icon and the message";
    EXPECT_EQ(page.version()->text(), SettingsPresenter::versionText());
}

TEST_F(SettingsPageTest, APickerThatCannotShowTheDefaultActionWritesNothingBack) {
    const RuleAction chain = RuleAction::chain({office.id, home.id});
    state.setProfile(profileWith({office, home}, chain));
    state.saveProfile();
    settle();
    const std::size_t saves = daemon.saves.size();
    page.show();
    page.refresh();
    state.setProfile(profileWith({office, home, proxyNamed("Third")}, chain));
    settle();
    EXPECT_EQ(page.defaultAction()->count(), 5);
    EXPECT_EQ(page.defaultAction()->currentIndex(), -1);
    EXPECT_EQ(state.profile().defaultAction, chain);
    EXPECT_EQ(daemon.saves.size(), saves);

    page.defaultAction()->setCurrentIndex(3);
    emit page.defaultAction()->activated(3);
    settle();
    EXPECT_EQ(state.profile().defaultAction, RuleAction::proxy(home.id));
    EXPECT_EQ(daemon.saves.size(), saves + 1);
    EXPECT_EQ(page.defaultAction()->currentText(), "Proxy: Home");
}

TEST_F(SettingsPageTest, LaunchAtLoginIsReadFromTheAutostartFileEachTime) {
    const LoginItem& item = shell->loginItem();
    page.show();
    EXPECT_FALSE(page.launchAtLogin()->isChecked());
    item.setEnabled(true, state);
    page.hide();
    page.show();
    EXPECT_TRUE(page.launchAtLogin()->isChecked()) << "the file made elsewhere shows";
    std::filesystem::remove(*item.entryPath());
    page.refresh();
    EXPECT_FALSE(page.launchAtLogin()->isChecked());

    page.launchAtLogin()->click();
    EXPECT_TRUE(std::filesystem::exists(*item.entryPath()));
    EXPECT_TRUE(page.launchAtLogin()->isChecked());
    page.launchAtLogin()->click();
    EXPECT_FALSE(std::filesystem::exists(*item.entryPath()));
}

TEST_F(SettingsPageTest, TrayOnlyAndAutomaticUpdatesAreStored) {
    EXPECT_FALSE(page.trayOnly()->isChecked());
    page.trayOnly()->click();
    EXPECT_EQ(settings.value(ActivationPolicy::kMenuBarOnlyKey), true);
    EXPECT_TRUE(shell->activationPolicy().menuBarOnly());

    const bool automatic = shell->updater().checksAutomatically();
    EXPECT_EQ(page.automaticUpdates()->isChecked(), automatic);
    page.automaticUpdates()->click();
    EXPECT_EQ(shell->updater().checksAutomatically(), !automatic);
    shell->updater().setChecksAutomatically(automatic);
    EXPECT_EQ(page.automaticUpdates()->isChecked(), automatic) << "the page follows the updater";
    EXPECT_EQ(page.checkNow()->isEnabled(), shell->updater().canCheckForUpdates());
}

TEST_F(SettingsPageTest, TheAcknowledgementsOpenOnTheFirstEntryWithItsLicence) {
    button("Open Source Licences…")->click();
    settle();
    AcknowledgementsSheet* sheet = page.acknowledgements();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->size(), QSize(720, 520));
    EXPECT_EQ(sheet->list()->currentRow(), 0);
    const Acknowledgement& qt = Acknowledgement::all().front();
    EXPECT_EQ(sheet->licence()->toPlainText(), qt.licenceText());
    EXPECT_TRUE(sheet->link()->text().contains(">" + qt.url + "<")) << "the link reads as the address";
    emit sheet->link()->linkActivated(qt.url);
    EXPECT_EQ(desktop.openedUrls, std::vector<QUrl>{QUrl(qt.url)});

    sheet->list()->setCurrentRow(2);
    EXPECT_EQ(sheet->licence()->toPlainText(), Acknowledgement::all()[2].licenceText());
    saveScreenshot(*sheet, "acknowledgements-sheet");
}

TEST_F(SettingsPageTest, ScreenshotWithProfileChecks) {
    Profile profile = profileWith({office, proxyNamed("Spare", std::nullopt, " ")}, RuleAction::proxy(UUID::random()));
    Rule single;
    single.id = UUID::random();
    single.name = "Backup route";
    single.action = RuleAction::failover({office.id});
    Rule gone = single;
    gone.id = UUID::random();
    gone.name = "Old office";
    gone.action = RuleAction::proxy(UUID::random());
    profile.rules = {single, gone};
    state.setProfile(profile);
    ASSERT_EQ(page.presenter().profileChecks().size(), 4u);
    page.resize(860, 900);
    saveScreenshot(page, "settings");
}

}  // namespace
}  // namespace corvane::app::testing
