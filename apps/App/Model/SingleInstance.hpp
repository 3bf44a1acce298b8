#pragma once

#include <filesystem>
#include <memory>

#include <QLocalServer>
#include <QObject>
#include <QString>

#include "platform/FileDescriptor.hpp"

namespace corvane::app {

// One app per user and desktop session. The first app of a session holds a
// lock file and listens on a socket beside it; a later launch finds the lock
// taken, asks the running app over the socket to bring its window forward,
// and ends. Both live in a folder only the user may write ($XDG_RUNTIME_DIR),
// named after the session's display, so another display gets an app of its
// own. The kernel drops the lock with the process, so a crashed app never
// blocks the next one.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // How long a later launch tries to reach the running app.
    static constexpr int kReachTimeMs = 5000;

    SingleInstance(std::filesystem::path folder, QString session, QObject* parent = nullptr);

    // Takes the session's lock: true for the first app, which then listens;
    // false when another app runs, which has been asked to come forward.
    bool claim();

    // $XDG_RUNTIME_DIR, else a private folder of the user's in the temporary folder.
    static std::filesystem::path defaultFolder();
    // The session's display (WAYLAND_DISPLAY, else DISPLAY), as a file-name part.
    static QString currentSession();

signals:
    // A later launch asked for the window.
    void activationRequested();

private:
    bool folderIsPrivate() const;
    void listen();
    void askRunningApp() const;

    std::filesystem::path folder_;
    QString name_;
    std::unique_ptr<platform::FileDescriptor> lock_;
    QLocalServer server_;
};

}  // namespace corvane::app
