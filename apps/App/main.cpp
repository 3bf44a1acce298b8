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

app::Updater::Settings updaterSettings() {
    app::Updater::Settings settings;
    settings.feedUrl = QUrl(text(updates::UpdateConfiguration::feedURL));
    settings.publicKey = QByteArray::fromBase64(QByteArray(updates::UpdateConfiguration::publicKeyBase64.data(),
                                                           updates::UpdateConfiguration::publicKeyBase64.size()));
    settings.currentBuild = text(ProductVersion::build);
    return settings;
}

app::FolderUpdateInstaller::Settings installerSettings(const std::filesystem::path& appPath) {
    app::FolderUpdateInstaller::Settings settings;
    settings.folder = app::FolderUpdateInstaller::installFolder(appPath);
    const auto key = updates::UpdateSignature::publicKeyFromBase64(updates::UpdateConfiguration::publicKeyBase64);
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
    app::FolderUpdateInstaller updateInstaller(installerSettings(appPath), services.rootHelper());
    QSettings settings;
    app::AppShell shell({services.environment(), settings, app::LoginItem::forCurrentUser(appPath),
                         updaterSettings(), updateInstaller, [] { return QSystemTrayIcon::isSystemTrayAvailable(); }});
    QObject::connect(&instance, &app::SingleInstance::activationRequested, &shell, &app::AppShell::bringWindowForward);
    shell.launch();
    return application.exec();
}
