#pragma once

#include <functional>

#include <QObject>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace corvane::app {

class AppState;

// The tray icon "Corvane" and its menu: "Engine: " and the status (a line, not
// a command), "Start" or "Stop", a separator, "Open Corvane", "Quit". Quitting
// ends the app but leaves the tunnel running.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    TrayIcon(AppState& state, std::function<void()> openWindow, QObject* parent = nullptr);
    ~TrayIcon() override;

    // Puts the icon in the tray (where there is one).
    void show();
    QMenu& menu() const { return *menu_; }
    QSystemTrayIcon& icon() const { return *icon_; }

private:
    void refresh();

    AppState& state_;
    QMenu* menu_;
    QSystemTrayIcon* icon_;
    QAction* status_;
    QAction* toggle_;
};

}  // namespace corvane::app
