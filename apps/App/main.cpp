// corvane: the desktop app. Makes the model and the shell once, shows the main
// window (or only the tray icon in tray-only mode) and runs until quit. A
// second launch in the same session brings the first one's window forward and
// ends.
#include <cstdio>

#include <QApplication>
#include <QSettings>
#include <QSystemTrayIcon>

#include "Model/AppServices.hpp"
#include "Model/FolderUpdateInstaller.hpp"
#include "Model/SingleInstance.hpp"
#include "Shared/AppIdentifiers.hpp"
#include "Shared/ProductVersion.hpp"
#include "Updates/UpdateConfiguration.hpp"
#include "Views/Common/AppStyle.hpp"
#include "Views/Shell/AppShell.hpp"

namespace {

using namespace corvane;

QString text(std::string_view view) { return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size())); }

using ReleaseKey = std::optional<updates::UpdateSignature::PublicKey>;

app::Updater::Settings updaterSettings(const ReleaseKey& key) {
    app::Updater::Settings settings;
    settings.feedUrl = QUrl(text(updates::UpdateConfiguration::feedURL));
    settings.publicKey = key;
    settings.currentBuild = text(ProductVersion::build);
    return settings;
}

app::FolderUpdateInstaller::Settings installerSettings(const std::filesystem::path& appPath, const ReleaseKey& key) {
    app::FolderUpdateInstaller::Settings settings;
    settings.folder = app::FolderUpdateInstaller::installFolder(appPath);
    if (key) settings.key = *key;
    return settings;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    app::AppStyle::install();
    // The settings file: ~/.config/<identifier>/<identifier>.conf.
    QApplication::setOrganizationName(text(AppIdentifiers::appIdentifier));
    QApplication::setApplicationName(text(AppIdentifiers::appIdentifier));
    QApplication::setApplicationDisplayName(text(AppIdentifiers::productName));
    QApplication::setDesktopFileName(text(AppIdentifiers::appIdentifier));
    app::SingleInstance instance(app::SingleInstance::defaultFolder(), app::SingleInstance::currentSession());
    if (!instance.claim()) {
        std::fputs("Corvane already runs in this session; its window was brought forward.\n", stderr);
        return 0;
    }

    const std::filesystem::path appPath = QApplication::applicationFilePath().toStdString();
    app::AppServices services(appPath);
    const ReleaseKey key = updates::UpdateSignature::releaseKey();
    app::FolderUpdateInstaller updateInstaller(installerSettings(appPath, key), services.rootHelper());
    QSettings settings;
    app::AppShell shell({services.environment(), settings, app::LoginItem::forCurrentUser(appPath),
                         updaterSettings(key), updateInstaller,
                         [] { return QSystemTrayIcon::isSystemTrayAvailable(); }});
    QObject::connect(&instance, &app::SingleInstance::activationRequested, &shell, &app::AppShell::bringWindowForward);
    shell.launch();
    return application.exec();
}
