#include "Updater.hpp"

namespace corvane::app {

namespace {

QString key(const char* name) { return QString(Updater::kSettingsGroup) + "/" + name; }

}  // namespace

Updater::Updater(QSettings& settings, QObject* parent) : QObject(parent), settings_(settings) {}

bool Updater::automaticallyChecksForUpdates() const { return settings_.value(key(kAutomaticKey), true).toBool(); }

void Updater::setAutomaticallyChecksForUpdates(bool on) {
    if (on == automaticallyChecksForUpdates()) return;
    settings_.setValue(key(kAutomaticKey), on);
    emit automaticallyChecksForUpdatesChanged(on);
}

std::optional<QDateTime> Updater::lastUpdateCheckDate() const {
    const QDateTime date = settings_.value(key(kLastCheckKey)).toDateTime();
    if (!date.isValid()) return std::nullopt;
    return date;
}

void Updater::checkForUpdates() {}

}  // namespace corvane::app
