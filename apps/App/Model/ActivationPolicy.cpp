#include "ActivationPolicy.hpp"

namespace corvane::app {

ActivationPolicy::ActivationPolicy(QSettings& settings, Application application)
    : settings_(settings), application_(std::move(application)) {}

bool ActivationPolicy::menuBarOnly() const { return settings_.value(kMenuBarOnlyKey, false).toBool(); }

bool ActivationPolicy::isTrayOnly() const { return menuBarOnly() && application_.trayAvailable(); }

void ActivationPolicy::applyStoredPreference() {
    const bool trayOnly = isTrayOnly();
    application_.keepRunningWithoutWindow(trayOnly);
    if (!trayOnly) application_.bringForward();
}

void ActivationPolicy::setMenuBarOnly(bool on) {
    settings_.setValue(kMenuBarOnlyKey, on);
    settings_.sync();
    application_.keepRunningWithoutWindow(isTrayOnly());
    if (!on) application_.bringForward();
}

}  // namespace corvane::app
