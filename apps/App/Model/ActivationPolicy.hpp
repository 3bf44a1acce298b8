#pragma once

#include <functional>

#include <QSettings>

namespace corvane::app {

// Tray-only mode, the stored preference "menuBarOnly": with it and a tray to
// live in, the app starts without its window and keeps running when the window
// closes. Where no tray exists the preference is ignored and the window shows,
// so the app can never run invisible. Main thread only.
class ActivationPolicy {
public:
    static constexpr const char* kMenuBarOnlyKey = "menuBarOnly";

    // What the policy acts on.
    struct Application {
        std::function<bool()> trayAvailable;
        // Whether closing the last window leaves the app running.
        std::function<void(bool)> keepRunningWithoutWindow;
        // Shows the main window (again, if it was closed), raises and activates it.
        std::function<void()> bringForward;
    };

    ActivationPolicy(QSettings& settings, Application application);

    // The stored preference, false when unset.
    bool menuBarOnly() const;
    // Whether the app runs tray-only now: the preference and a tray.
    bool isTrayOnly() const;

    // At launch: tray-only, or show the window and bring it forward.
    void applyStoredPreference();
    // The settings switch: stores the preference and applies it at once; turning
    // it off also brings the window forward. The window stays where it is when it
    // is turned on.
    void setMenuBarOnly(bool on);

private:
    QSettings& settings_;
    Application application_;
};

}  // namespace corvane::app
