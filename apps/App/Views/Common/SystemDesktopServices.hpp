#pragma once

#include <QObject>

#include "Presenters/DesktopServices.hpp"

namespace corvane::app {

// The desktop's real services: Qt's file dialogs over the active window,
// opening in the user's documents folder, the clipboard, the file manager
// through its D-Bus interface (org.freedesktop.FileManager1, else the folder
// is opened), and the browser. Made by a page and owned by it.
class SystemDesktopServices : public QObject, public DesktopServices {
    Q_OBJECT

public:
    using QObject::QObject;

    // Where the file dialogs open: the documents folder (~/Documents, or where
    // the user's XDG folders put it) when it exists, else the home folder.
    static QString startFolder();

    std::optional<QString> chooseSaveLocation(const QString& defaultName, const QStringList& nameFilters) override;
    std::optional<QString> chooseOpenLocation(const QStringList& nameFilters) override;
    void setClipboardText(const QString& text) override;
    void showInFileManager(const QString& path) override;
    void openUrl(const QUrl& url) override;
};

}  // namespace corvane::app
