#include "AppShell.hpp"

#include <QApplication>

#include "MainWindow.hpp"

namespace corvane::app {

AppShell::AppShell(Parts parts, QObject* parent)
    : QObject(parent),
      trayAvailable_(std::move(parts.trayAvailable)),
      state_(std::move(parts.environment)),
      updater_(parts.settings),
      updaterController_(updater_),
      loginItem_(std::move(parts.loginItem)),
      activationPolicy_(parts.settings,
                        {[this] { return trayAvailable_(); },
                         [](bool keepRunning) { QApplication::setQuitOnLastWindowClosed(!keepRunning); },
                         [this] { bringWindowForward(); }}) {
    window_ = std::make_unique<MainWindow>(pageContext());
}

AppShell::~AppShell() = default;

PageContext AppShell::pageContext() { return {state_, updaterController_, loginItem_, activationPolicy_}; }

void AppShell::launch() { activationPolicy_.applyStoredPreference(); }

void AppShell::bringWindowForward() {
    window_->show();
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->raise();
    window_->activateWindow();
}

}  // namespace corvane::app
