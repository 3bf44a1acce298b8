#include "SingleInstance.hpp"

#include <fcntl.h>
#include <cctype>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>

#include "Shared/AppIdentifiers.hpp"

namespace corvane::app {

namespace fs = std::filesystem;

namespace {

constexpr const char* kActivate = "activate\n";

}  // namespace

SingleInstance::SingleInstance(fs::path folder, QString session, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {
    name_ = QString::fromUtf8(AppIdentifiers::appIdentifier.data(),
                              static_cast<qsizetype>(AppIdentifiers::appIdentifier.size())) +
            "-" + session;
}

fs::path SingleInstance::defaultFolder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) return runtime.toStdString();
    return QDir::temp().filePath(QString("corvane-%1").arg(::getuid())).toStdString();
}

QString SingleInstance::currentSession() {
    QByteArray display = qgetenv("WAYLAND_DISPLAY");
    if (display.isEmpty()) display = qgetenv("DISPLAY");
    QString session;
    for (const char c : display) session += QChar::fromLatin1(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return session.isEmpty() ? QStringLiteral("none") : session;
}

// The folder must be the user's own and closed to others, else anyone could
// take the lock or stand in for the running app.
bool SingleInstance::folderIsPrivate() const {
    ::mkdir(folder_.c_str(), 0700);
    struct stat info {};
    return ::lstat(folder_.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool SingleInstance::claim() {
    if (!folderIsPrivate()) return true;
    const fs::path lockPath = folder_ / (name_.toStdString() + ".lock");
    lock_ = std::make_unique<platform::FileDescriptor>(
        ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (lock_->get() < 0) return true;
    if (::flock(lock_->get(), LOCK_EX | LOCK_NB) == 0) {
        listen();
        return true;
    }
    lock_.reset();
    askRunningApp();
    return false;
}

void SingleInstance::listen() {
    const QString path = QString::fromStdString((folder_ / (name_.toStdString() + ".socket")).string());
    // Holding the lock, whatever socket is there was left by an app that ended.
    QLocalServer::removeServer(path);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(path);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (!peer->canReadLine()) return;
                if (peer->readLine() == kActivate) emit activationRequested();
                peer->disconnectFromServer();
            });
        }
    });
}

// The running app may still be starting: try until it listens.
void SingleInstance::askRunningApp() const {
    const QString path = QString::fromStdString((folder_ / (name_.toStdString() + ".socket")).string());
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kReachTimeMs) {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (socket.waitForConnected(500)) {
            socket.write(kActivate);
            socket.waitForBytesWritten(1000);
            socket.waitForDisconnected(1000);
            return;
        }
        QThread::msleep(100);
    }
}

}  // namespace corvane::app
