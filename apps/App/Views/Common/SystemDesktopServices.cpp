#include "SystemDesktopServices.hpp"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace corvane::app {

namespace {

// How long the file manager may take to answer before the folder is opened instead.
constexpr int kFileManagerTimeoutMs = 3000;

std::optional<QString> chosen(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    return path;
}

}  // namespace

QString SystemDesktopServices::startFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    // A dialog asked to open in a folder that is not there opens in the working folder.
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

std::optional<QString> SystemDesktopServices::chooseSaveLocation(const QString& defaultName,
                                                                 const QStringList& nameFilters) {
    return chosen(QFileDialog::getSaveFileName(QApplication::activeWindow(), {},
                                               QDir(startFolder()).filePath(defaultName),
                                               nameFilters.join(";;")));
}

std::optional<QString> SystemDesktopServices::chooseOpenLocation(const QStringList& nameFilters) {
    return chosen(QFileDialog::getOpenFileName(QApplication::activeWindow(), {}, startFolder(),
                                               nameFilters.join(";;")));
}

void SystemDesktopServices::setClipboardText(const QString& text) { QApplication::clipboard()->setText(text); }

void SystemDesktopServices::showInFileManager(const QString& path) {
    QDBusInterface fileManager("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                               "org.freedesktop.FileManager1", QDBusConnection::sessionBus());
    if (fileManager.isValid()) {
        fileManager.setTimeout(kFileManagerTimeoutMs);
        const QDBusReply<void> reply =
            fileManager.call("ShowItems", QStringList{QUrl::fromLocalFile(path).toString()}, QString());
        if (reply.isValid()) return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

void SystemDesktopServices::openUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

}  // namespace corvane::app
