#include "AppServices.hpp"

#include <unistd.h>

#include "Shared/ProductVersion.hpp"
#include "platform/SystemExtensionMode.hpp"

namespace corvane::app {

AppServices::AppServices(const std::filesystem::path& appPath)
    : appPath_(appPath),
      bundle_(BundledDaemon::locate(appPath.parent_path())),
      daemon_(worker_.executor(), controlSocketPath()),
      rootHelper_({bundle_.helper, "/usr/bin/pkexec", ::geteuid() == 0}),
      installer_(worker_.executor(), {controlSocketPath(), bundle_, std::string(ProductVersion::shortVersion)},
                 rootHelper_),
      prober_(worker_.executor()) {}

std::filesystem::path AppServices::controlSocketPath() {
    return platform::ExtensionDirectories::fromValues(nullptr, nullptr).runtimeDirectory / "control.sock";
}

AppEnvironment AppServices::environment() {
    return {daemon_,
            installer_,
            prober_,
            scheduler_,
            platform::systemClock(),
            [] { return SharedConstants::systemFolders(); },
            [bundle = bundle_] { return bundle.build(); },
            appPath_.string()};
}

}  // namespace corvane::app
