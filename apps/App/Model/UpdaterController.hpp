#pragma once

#include <QObject>
#include <QString>

#include "Updater.hpp"

namespace corvane::app {

// The updater as the views see it: whether a check can start now, the
// automatic-check setting (kept equal to the updater's in both directions,
// without the two echoing each other) and a text about the last check. Created
// once by the app, on the main thread.
class UpdaterController : public QObject {
    Q_OBJECT

public:
    explicit UpdaterController(Updater& updater, QObject* parent = nullptr);

    bool canCheckForUpdates() const { return canCheckForUpdates_; }
    bool checksAutomatically() const { return checksAutomatically_; }
    void setChecksAutomatically(bool on);
    // "Never checked", or "Last checked " with the abbreviated date and the
    // short time of the user's locale.
    QString lastCheckDescription() const;

    Updater& updater() { return updater_; }
    // The "Check for Updates…" command and the settings page's "Check Now".
    void checkForUpdates() { updater_.checkForUpdates(); }

signals:
    void canCheckForUpdatesChanged();
    void checksAutomaticallyChanged();
    void lastCheckDescriptionChanged();

private:
    void takeCanCheck(bool canCheck);
    void takeAutomatic(bool on);

    Updater& updater_;
    bool canCheckForUpdates_ = false;
    bool checksAutomatically_ = false;
};

}  // namespace corvane::app
