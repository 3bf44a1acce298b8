// corvane: the desktop app. Makes the model and the shell once, shows the main
// window (or only the tray icon in tray-only mode) and runs until quit.
#include <QApplication>
#include <QSettings>
#include <QSystemTrayIcon>

#include "Model/AppServices.hpp"
#include "Shared/AppIdentifiers.hpp"
#include "Views/Shell/AppShell.hpp"

int main(int argc, char** argv) {
    using namespace corvane;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(AppIdentifiers::appIdentifier.data()));
    QApplication::setApplicationDisplayName(QString::fromUtf8(AppIdentifiers::productName.data()));
    QApplication::setDesktopFileName(QString::fromUtf8(AppIdentifiers::appIdentifier.data()));

    const std::filesystem::path appPath = QApplication::applicationFilePath().toStdString();
    app::AppServices services(appPath);
    QSettings settings;
    app::AppShell shell({services.environment(), settings, app::LoginItem::forCurrentUser(appPath),
                         [] { return QSystemTrayIcon::isSystemTrayAvailable(); }});
    shell.launch();
    return application.exec();
}
