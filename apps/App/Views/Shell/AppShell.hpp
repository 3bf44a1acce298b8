#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QSettings>

#include "Model/ActivationPolicy.hpp"
#include "Model/AppEnvironment.hpp"
#include "Model/AppState.hpp"
#include "Model/LoginItem.hpp"
#include "Model/Updater.hpp"
#include "Model/UpdaterController.hpp"
#include "PageContext.hpp"

namespace corvane::app {

class MainWindow;
class TrayIcon;
class UpdateDialog;

// Everything the app's entry makes once and keeps until it quits: the model,
// the updater and its window, launch at login, the activation policy, the
// main window and the tray icon.
class AppShell : public QObject {
    Q_OBJECT

public:
    struct Parts {
        AppEnvironment environment;
        QSettings& settings;
        LoginItem loginItem;
        Updater::Settings updaterSettings;
        UpdateInstaller& updateInstaller;
        // Whether the desktop has a system tray to show our icon in.
        std::function<bool()> trayAvailable;
    };

    explicit AppShell(Parts parts, QObject* parent = nullptr);
    ~AppShell() override;

    // Puts the icon in the tray (where there is one), starts the updater and
    // applies the stored activation policy: shows the window unless the app
    // runs tray-only.
    void launch();

    AppState& state() { return state_; }
    UpdaterController& updater() { return updaterController_; }
    ActivationPolicy& activationPolicy() { return activationPolicy_; }
    LoginItem& loginItem() { return loginItem_; }
    MainWindow& window() { return *window_; }
    TrayIcon& trayIcon() { return *trayIcon_; }
    UpdateDialog& updateDialog() { return *updateDialog_; }
    PageContext pageContext();

    // Shows the main window (again, after it was closed), raises and activates it.
    void bringWindowForward();

private:
    std::function<bool()> trayAvailable_;
    AppState state_;
    Updater updater_;
    UpdaterController updaterController_;
    LoginItem loginItem_;
    ActivationPolicy activationPolicy_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<TrayIcon> trayIcon_;
    std::unique_ptr<UpdateDialog> updateDialog_;
};

}  // namespace corvane::app
