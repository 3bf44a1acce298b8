#pragma once

#include <memory>

#include <QSettings>
#include <QTemporaryDir>

#include "Support/FakeUpdateInstaller.hpp"
#include "Support/ModelFixture.hpp"
#include "Support/QtPrinters.hpp"
#include "Views/Shell/AppShell.hpp"

namespace corvane::app::testing {

// The app's shell over the model's fakes, with its own settings file and
// autostart folder, and a tray that the test says is there or not.
class ShellFixture : public ModelFixture {
protected:
    QTemporaryDir configFolder;
    QSettings settings{configFolder.filePath("settings.ini"), QSettings::IniFormat};
    bool trayAvailable = true;
    FakeUpdateInstaller updateInstaller;
    // A feed nobody serves; the updater tests serve their own.
    Updater::Settings updaterSettings{QUrl("http://127.0.0.1:9/feed.json"), updates::UpdateSignature::PublicKey{}, "1"};

    std::filesystem::path autostartFolder() const { return configFolder.filePath("autostart").toStdString(); }

    std::unique_ptr<AppShell> makeShell() {
        auto shell = std::make_unique<AppShell>(AppShell::Parts{environment(), settings,
                                                                LoginItem(autostartFolder(), {"/usr/bin/corvane"}),
                                                                updaterSettings, updateInstaller,
                                                                [this] { return trayAvailable; }});
        settle();
        return shell;
    }
};

}  // namespace corvane::app::testing
