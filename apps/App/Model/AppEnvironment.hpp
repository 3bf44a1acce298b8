#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "ConfigStore.hpp"
#include "DaemonConnection.hpp"
#include "ProxyHealthMonitor.hpp"
#include "ProxyProber.hpp"
#include "Scheduler.hpp"
#include "ServiceInstaller.hpp"
#include "platform/Clock.hpp"

namespace corvane::app {

// What the model stands on: the platform's services (real ones from AppServices,
// fakes in tests), the clock, where the profile file lives and what ships with
// the app. The services must outlive the model.
struct AppEnvironment {
    DaemonConnection& daemon;
    ServiceInstaller& installer;
    ProxyProber& prober;
    Scheduler& scheduler;
    platform::Clock clock;
    ConfigStore::FolderSource profileFolders;
    std::function<std::optional<std::string>()> bundledBuild;
    std::string appPath;
    std::string probeHost = std::string(ProxyHealthMonitor::kDefaultProbeHost);
    std::uint16_t probePort = ProxyHealthMonitor::kDefaultProbePort;
};

}  // namespace corvane::app
