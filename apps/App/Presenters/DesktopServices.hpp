#pragma once

#include <optional>

#include <QString>
#include <QStringList>
#include <QUrl>

namespace corvane::app {

// What the pages ask of the desktop: file dialogs, the clipboard, the file
// manager and the browser. The app uses the real ones; tests give fakes, so no
// dialog ever blocks them.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;

    // The file the user chose to write, none when cancelled. `nameFilters` as
    // QFileDialog takes them ("CSV files (*.csv)").
    virtual std::optional<QString> chooseSaveLocation(const QString& defaultName, const QStringList& nameFilters) = 0;
    // The file the user chose to read, none when cancelled.
    virtual std::optional<QString> chooseOpenLocation(const QStringList& nameFilters) = 0;
    virtual void setClipboardText(const QString& text) = 0;
    // Shows the file selected in the desktop's file manager.
    virtual void showInFileManager(const QString& path) = 0;
    virtual void openUrl(const QUrl& url) = 0;
};

}  // namespace corvane::app
