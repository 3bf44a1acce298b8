// The updater's window through a session against a feed on 127.0.0.1, and the
// app menu's "Check for Updates…" following whether a check can start.
#include <QAction>
#include <QCryptographicHash>
#include <QMenu>
#include <gtest/gtest.h>

#include "Support/LoopbackHttpServer.hpp"
#include "Support/TestSigningKey.hpp"
#include "Updates/UpdateSignature.hpp"
#include "Views/Shell/MainWindow.hpp"
#include "Views/Shell/UpdateDialog.hpp"
#include "Views/Support/Screenshot.hpp"
#include "Views/Support/ShellFixture.hpp"

namespace corvane::app::testing {
namespace {

using Stage = UpdateSession::Stage;
using Button = UpdateDialogContent::Button;
using Action = UpdateDialogContent::Action;
using namespace std::chrono_literals;

const QByteArray kArchive = QByteArray("archive ").repeated(40000);

class UpdateDialogTest : public ShellFixture {
protected:
    LoopbackHttpServer server;
    TestSigningKey key;
    std::unique_ptr<AppShell> shell = configuredShell();
    UpdateDialog& dialog = shell->updateDialog();
    Updater& updater = shell->updater().updater();

    std::unique_ptr<AppShell> configuredShell() {
        updaterSettings.feedUrl = server.url("/feed.json");
        updaterSettings.publicKey = key.publicKey();
        updaterSettings.transferTimeout = 5s;
        return makeShell();
    }
    void offer(const QString& build, std::optional<qsizetype> stallAfter = std::nullopt) {
        const QByteArray digest = QCryptographicHash::hash(kArchive, QCryptographicHash::Sha256).toHex();
        const auto signature =
            key.sign(*updates::UpdateSignature::releaseMessage("1.1", build.toStdString(), digest.toStdString()));
        server.serve("/feed.json",
                     QString(R"({"version": "1.1", "build": "%1", "url": "%2", "length": %3, "signature": "%4",
                                 "releaseNotes": "• Rules match application paths faster.\n)"
                             R"(• The tray menu shows the engine’s error."})")
                         .arg(build, server.url("/Corvane-1.1.tar.gz").toString())
                         .arg(kArchive.size())
                         .arg(QString(QByteArray(reinterpret_cast<const char*>(signature.data()), 64).toBase64()))
                         .toUtf8());
        server.serve("/Corvane-1.1.tar.gz", {200, kArchive, kArchive.size(), false, stallAfter});
    }
    bool reach(Stage stage) {
        return waitUntil([&] { return updater.session().stage == stage; });
    }
    QAction* checkItem() const { return window().appMenu().actions().at(1); }
    MainWindow& window() const { return shell->window(); }
};

TEST_F(UpdateDialogTest, CheckForUpdatesFollowsWhetherACheckCanStart) {
    server.serve("/feed.json", {200, {}, 0, true, std::nullopt});
    EXPECT_EQ(checkItem()->text(), "Check for Updates…");
    EXPECT_FALSE(checkItem()->isEnabled()) << "before the updater started";
    shell->launch();
    EXPECT_TRUE(checkItem()->isEnabled());
    checkItem()->trigger();
    EXPECT_FALSE(checkItem()->isEnabled());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.content().title, "Checking for updates…");
    saveScreenshot(dialog, "update-checking");
    dialog.press("Cancel");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(checkItem()->isEnabled());
}

TEST_F(UpdateDialogTest, UpToDateSaysSoAndOkEndsTheSession) {
    offer("1");
    shell->launch();
    shell->updater().checkForUpdates();
    ASSERT_TRUE(reach(Stage::upToDate));
    EXPECT_EQ(dialog.content().title, "You’re up to date!");
    EXPECT_EQ(dialog.content().message, "Corvane 1.0 (1) is the newest version available.");
    EXPECT_EQ(dialog.content().buttons, (std::vector<Button>{{"OK", Action::dismiss, true}}));
    saveScreenshot(dialog, "update-up-to-date");
    dialog.press("OK");
    EXPECT_EQ(updater.session().stage, Stage::idle);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(UpdateDialogTest, ANewVersionIsOfferedDownloadedAndInstalled) {
    offer("2", 100000);
    shell->launch();
    shell->updater().checkForUpdates();
    ASSERT_TRUE(reach(Stage::updateFound));
    EXPECT_EQ(dialog.content().title, "A new version of Corvane is available!");
    EXPECT_EQ(dialog.content().message,
              "Corvane 1.1 (2) is now available — you have 1.0 (1). Would you like to install it now?");
    EXPECT_TRUE(dialog.content().releaseNotes.startsWith("• Rules"));
    EXPECT_EQ(dialog.content().buttons,
              (std::vector<Button>{{"Later", Action::dismiss, false}, {"Install Update", Action::install, true}}));
    saveScreenshot(dialog, "update-found");

    dialog.press("Install Update");
    ASSERT_TRUE(waitUntil([&] { return updater.session().received == 100000; }));
    scheduler.advance(Updater::kProgressInterval);
    EXPECT_EQ(dialog.content().title, "Downloading Corvane 1.1 (2)…");
    EXPECT_EQ(dialog.content().message, "97.7 kB of 312.5 kB");
    saveScreenshot(dialog, "update-downloading");

    dialog.press("Cancel");
    EXPECT_FALSE(dialog.isVisible());
    offer("2");
    shell->updater().checkForUpdates();
    ASSERT_TRUE(reach(Stage::updateFound));
    dialog.press("Install Update");
    ASSERT_TRUE(reach(Stage::installed));
    EXPECT_EQ(dialog.content().title, "Corvane 1.1 (2) is installed.");
    EXPECT_EQ(dialog.content().buttons,
              (std::vector<Button>{{"Later", Action::dismiss, false}, {"Relaunch", Action::relaunch, true}}));
    saveScreenshot(dialog, "update-installed");
    dialog.press("Relaunch");
    EXPECT_EQ(updateInstaller.relaunches, 1);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(UpdateDialogTest, ErrorsShowInTheDialogAndClosingItDismisses) {
    offer("2");
    updateInstaller.refusalText = "This copy of Corvane was not installed from a release archive, so it cannot "
                                  "replace itself. Update it the way it was installed.";
    shell->launch();
    shell->updater().checkForUpdates();
    ASSERT_TRUE(reach(Stage::updateFound));
    dialog.press("Install Update");
    ASSERT_EQ(updater.session().stage, Stage::failed);
    EXPECT_EQ(dialog.content().title, "Update Error");
    EXPECT_EQ(dialog.content().message, updateInstaller.refusalText->c_str());
    saveScreenshot(dialog, "update-error");
    dialog.close();
    EXPECT_EQ(updater.session().stage, Stage::idle);
}

TEST_F(UpdateDialogTest, AnAutomaticCheckOpensTheWindowOnlyForAnUpdate) {
    offer("1");
    settings.setValue("Updates/automaticallyChecksForUpdates", true);
    bool shown = false;
    QObject::connect(&updater, &Updater::sessionChanged, [&] { shown = shown || dialog.isVisible(); });
    shell->launch();
    scheduler.advance(0ms);
    ASSERT_TRUE(waitUntil([&] { return updater.lastUpdateCheckDate().has_value(); }));
    settle();
    EXPECT_FALSE(shown);

    offer("2");
    scheduler.advance(24h);
    ASSERT_TRUE(reach(Stage::updateFound));
    EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
}  // namespace corvane::app::testing
