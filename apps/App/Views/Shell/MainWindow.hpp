#pragma once

#include <QMainWindow>

#include "PageContext.hpp"

class QAction;
class QMenu;

namespace corvane::app {

class EngineStatusBadge;
class ErrorAlert;
class PageHost;

// The app's main window, at least 860×520: the page host in the middle; the
// toolbar with the engine's status badge and the start/stop button; the app
// menu ("About Corvane", "Check for Updates…", "Quit"); the error alert.
// Closing the window drops the page; showing it again makes a new one.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 860;
    static constexpr int kMinimumHeight = 520;

    explicit MainWindow(PageContext context, QWidget* parent = nullptr);

    PageHost& pageHost() const { return *pageHost_; }
    EngineStatusBadge& statusBadge() const { return *badge_; }
    QAction& toggleAction() const { return *toggle_; }
    QMenu& appMenu() const { return *appMenu_; }
    ErrorAlert& errorAlert() const { return *alert_; }

    // Opens "About Corvane" (one at a time).
    void showAbout();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildToolbar();
    void buildMenu();
    void refreshEngineStatus();

    PageContext context_;
    PageHost* pageHost_;
    EngineStatusBadge* badge_ = nullptr;
    QAction* toggle_ = nullptr;
    QMenu* appMenu_ = nullptr;
    ErrorAlert* alert_;
};

}  // namespace corvane::app
