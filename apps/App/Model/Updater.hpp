#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QString>
#include <QUrl>

#include "ProgressThrottle.hpp"
#include "Scheduler.hpp"
#include "UpdateInstaller.hpp"
#include "UpdateSession.hpp"
#include "Updates/UpdateSignature.hpp"
#include "platform/Clock.hpp"
#include "platform/Logger.hpp"

class QNetworkAccessManager;
class QNetworkReply;
class QTemporaryFile;

namespace corvane::app {

// The app's software updater. It reads the update feed over HTTPS; when the
// feed names a newer build it offers it, downloads the archive with a progress
// and a time-out, refuses an archive whose length or Ed25519 signature does not
// match, and hands a verified one to the installation step, then offers to
// relaunch. One session at a time: `session()` is what its dialog shows;
// sessionChanged tells each new stage at once, the download's progress at most
// once every kProgressInterval and its last count before the download ends.
//
// It checks by itself at most once a day while automatic checks are on (off
// until the user turns them on); a check it made by itself shows nothing unless
// it found an update. Its settings live in their own group of the app's
// settings: whether it checks automatically and when it last checked.
class Updater : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kSettingsGroup = "Updates";
    static constexpr const char* kAutomaticKey = "automaticallyChecksForUpdates";
    static constexpr const char* kLastCheckKey = "lastUpdateCheckDate";
    static constexpr std::chrono::milliseconds kProgressInterval{100};

    struct Settings {
        QUrl feedUrl;
        // The Ed25519 public key releases are signed with; without one no
        // release verifies.
        std::optional<updates::UpdateSignature::PublicKey> publicKey;
        QString currentBuild;
        // How long the server may stay silent during a transfer.
        std::chrono::milliseconds transferTimeout{30000};
        std::chrono::hours checkInterval{24};
        // After a failed automatic check, the next one waits at least this long.
        std::chrono::minutes retryInterval{60};
    };
    struct Dependencies {
        QSettings& settings;
        UpdateInstaller& installer;
        Scheduler& scheduler;
        platform::Clock clock;
    };

    Updater(Settings settings, Dependencies dependencies, QObject* parent = nullptr);
    ~Updater() override;

    // Starts the updater: checks become possible and the daily check is planned.
    void start();

    // False before start() and while a session runs.
    bool canCheckForUpdates() const { return canCheck_; }
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool on);
    std::optional<QDateTime> lastUpdateCheckDate() const;
    const UpdateSession& session() const { return session_; }

    // A check the user asked for; its dialog shows every outcome.
    void checkForUpdates();
    // "Install Update": downloads, verifies and installs the offered release.
    void installUpdate();
    // Ends the session however it stands ("Later", "Cancel", "OK", closing the
    // dialog); a check or download on its way is abandoned. Not while installing.
    void dismiss();
    // "Relaunch" after an installation: starts the new app and asks to quit.
    void relaunch();

signals:
    void canCheckForUpdatesChanged(bool canCheck);
    void automaticallyChecksForUpdatesChanged(bool on);
    void lastUpdateCheckDateChanged();
    void sessionChanged();
    // The new app was started; the app should quit now.
    void quitRequested();

private:
    void check(bool userInitiated);
    void feedFinished();
    void archiveArrived();
    void archiveFinished();
    void installed(const std::optional<std::string>& failure);
    void fail(const QString& error);
    void setSession(UpdateSession session);
    void endSession();
    void setCanCheck(bool canCheck);
    void setLastCheck(QDateTime date);
    void planAutomaticCheck();
    QDateTime now() const;
    QString describeFailure(QNetworkReply& reply) const;
    // "The update server answered " and the HTTP status with its reason.
    static QString answeredText(QNetworkReply& reply);
    void dropTransfer();

    Settings settings_;
    Dependencies deps_;
    platform::Logger log_;
    QNetworkAccessManager* network_;
    UpdateSession session_;
    // Announces the download's progress in session_: a redraw for every chunk is too many.
    ProgressThrottle progress_;
    bool started_ = false;
    bool canCheck_ = false;
    QPointer<QNetworkReply> reply_;
    std::unique_ptr<QTemporaryFile> archive_;
    std::unique_ptr<ScheduledCall> automaticCheck_;
    std::optional<QDateTime> lastAttempt_;
};

}  // namespace corvane::app
