#include "UpdaterController.hpp"

#include <QLocale>

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
    const QLocale locale;
    const QDateTime local = date->toLocalTime();
    // Hours and minutes: some locales' short time format carries seconds too.
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    timeFormat.remove(":ss").remove(".ss");
    return "Last checked " + locale.toString(local.date(), QLocale::ShortFormat) + " " +
           locale.toString(local.time(), timeFormat);
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
