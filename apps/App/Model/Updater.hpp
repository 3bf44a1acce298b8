#pragma once

#include <optional>

#include <QDateTime>
#include <QObject>
#include <QSettings>

namespace corvane::app {

// The app's software updater. Its settings live in their own group of the
// app's settings: whether it checks automatically and when it last checked.
class Updater : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kSettingsGroup = "Updates";
    static constexpr const char* kAutomaticKey = "automaticallyChecksForUpdates";
    static constexpr const char* kLastCheckKey = "lastUpdateCheckDate";

    explicit Updater(QSettings& settings, QObject* parent = nullptr);

    bool canCheckForUpdates() const { return canCheck_; }
    // True when never set.
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool on);
    std::optional<QDateTime> lastUpdateCheckDate() const;

    // A check the user asked for.
    void checkForUpdates();

signals:
    void canCheckForUpdatesChanged(bool canCheck);
    void automaticallyChecksForUpdatesChanged(bool on);
    void lastUpdateCheckDateChanged();

private:
    QSettings& settings_;
    bool canCheck_ = true;
};

}  // namespace corvane::app
