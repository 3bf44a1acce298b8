#pragma once

#include <filesystem>
#include <string>

#include "AppEnvironment.hpp"
#include "AsioProxyProber.hpp"
#include "AsioWorker.hpp"
#include "BundledDaemon.hpp"
#include "ControlSocketConnection.hpp"
#include "PkexecServiceInstaller.hpp"
#include "QtScheduler.hpp"
#include "RootHelperRunner.hpp"

namespace corvane::app {

// The platform services of the running app on Linux: the daemon's control
// socket (/run/corvane/control.sock), the root helper and the installer of the
// daemon that ships beside the app, proxy probes on a worker thread, Qt timers and the
// system clock. Create it before the model and destroy it after.
class AppServices {
public:
    // `appPath` is the app's executable; the bundled daemon is found beside it.
    explicit AppServices(const std::filesystem::path& appPath);

    AppEnvironment environment();
    // The root helper beside the app, run directly as root, else through pkexec.
    RootHelperRunner& rootHelper() { return rootHelper_; }

    static std::filesystem::path controlSocketPath();

private:
    std::filesystem::path appPath_;
    BundledDaemon bundle_;
    AsioWorker worker_;
    ControlSocketConnection daemon_;
    RootHelperRunner rootHelper_;
    PkexecServiceInstaller installer_;
    AsioProxyProber prober_;
    QtScheduler scheduler_;
};

}  // namespace corvane::app
