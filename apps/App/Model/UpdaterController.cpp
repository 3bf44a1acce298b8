#include "UpdaterController.hpp"

#include "DateStyle.hpp"

namespace corvane::app {

UpdaterController::UpdaterController(Updater& updater, QObject* parent)
    : QObject(parent), updater_(updater), checksAutomatically_(updater.automaticallyChecksForUpdates()) {
    takeCanCheck(updater_.canCheckForUpdates());
    connect(&updater_, &Updater::canCheckForUpdatesChanged, this, &UpdaterController::takeCanCheck);
    connect(&updater_, &Updater::automaticallyChecksForUpdatesChanged, this, &UpdaterController::takeAutomatic);
    connect(&updater_, &Updater::lastUpdateCheckDateChanged, this, &UpdaterController::lastCheckDescriptionChanged);
}

void UpdaterController::setChecksAutomatically(bool on) {
    if (on == checksAutomatically_) return;
    checksAutomatically_ = on;
    emit checksAutomaticallyChanged();
    if (updater_.automaticallyChecksForUpdates() != on) updater_.setAutomaticallyChecksForUpdates(on);
}

QString UpdaterController::lastCheckDescription() const {
    const auto date = updater_.lastUpdateCheckDate();
    if (!date) return "Never checked";
    const QDateTime local = date->toLocalTime();
    return "Last checked " + DateStyle::abbreviatedDate(local.date()) + " " + DateStyle::shortTime(local.time());
}

void UpdaterController::takeCanCheck(bool canCheck) {
    if (canCheck == canCheckForUpdates_) return;
    canCheckForUpdates_ = canCheck;
    emit canCheckForUpdatesChanged();
}

void UpdaterController::takeAutomatic(bool on) {
    if (on == checksAutomatically_) return;
    checksAutomatically_ = on;
    emit checksAutomaticallyChanged();
}

}  // namespace corvane::app
