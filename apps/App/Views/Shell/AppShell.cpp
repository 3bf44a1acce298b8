#include "AppShell.hpp"

#include <QApplication>

#include "MainWindow.hpp"
#include "Shared/VersionText.hpp"
#include "TrayIcon.hpp"
#include "UpdateDialog.hpp"

namespace corvane::app {

AppShell::AppShell(Parts parts, QObject* parent)
    : QObject(parent),
      trayAvailable_(std::move(parts.trayAvailable)),
      state_(parts.environment),
      updater_(std::move(parts.updaterSettings),
               {parts.settings, parts.updateInstaller, parts.environment.scheduler, parts.environment.clock}),
      updaterController_(updater_),
      loginItem_(std::move(parts.loginItem)),
      activationPolicy_(parts.settings,
                        {[this] { return trayAvailable_(); },
                         [](bool keepRunning) { QApplication::setQuitOnLastWindowClosed(!keepRunning); },
                         [this] { bringWindowForward(); }}) {
    window_ = std::make_unique<MainWindow>(pageContext());
    trayIcon_ = std::make_unique<TrayIcon>(state_, [this] { bringWindowForward(); });
    updateDialog_ = std::make_unique<UpdateDialog>(updater_, QString::fromStdString(versionText()));
    connect(&updater_, &Updater::quitRequested, qApp, &QApplication::quit, Qt::QueuedConnection);
}

AppShell::~AppShell() = default;

PageContext AppShell::pageContext() { return {state_, updaterController_, loginItem_, activationPolicy_}; }

void AppShell::launch() {
    if (trayAvailable_()) trayIcon_->show();
    updater_.start();
    activationPolicy_.applyStoredPreference();
}

void AppShell::bringWindowForward() {
    window_->show();
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->raise();
    window_->activateWindow();
}

}  // namespace corvane::app
