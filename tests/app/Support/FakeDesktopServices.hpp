#pragma once

#include <optional>
#include <vector>

#include <QString>
#include <QUrl>

#include "Presenters/DesktopServices.hpp"

namespace corvane::app::testing {

// The desktop played by the test: dialogs answer with the path set here (none:
// cancelled) and every request is recorded.
class FakeDesktopServices : public DesktopServices {
public:
    std::optional<QString> savePath;
    std::optional<QString> openPath;

    std::vector<QString> saveDefaultNames;
    std::vector<QStringList> openFilters;
    std::vector<QString> clipboard;
    std::vector<QString> shownInFileManager;
    std::vector<QUrl> openedUrls;

    std::optional<QString> chooseSaveLocation(const QString& defaultName, const QStringList&) override {
        saveDefaultNames.push_back(defaultName);
        return savePath;
    }
    std::optional<QString> chooseOpenLocation(const QStringList& nameFilters) override {
        openFilters.push_back(nameFilters);
        return openPath;
    }
    void setClipboardText(const QString& text) override { clipboard.push_back(text); }
    void showInFileManager(const QString& path) override { shownInFileManager.push_back(path); }
    void openUrl(const QUrl& url) override { openedUrls.push_back(url); }
};

}  // namespace corvane::app::testing
