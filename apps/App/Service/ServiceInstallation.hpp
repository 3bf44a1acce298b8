#pragma once

#include <sys/types.h>

#include <filesystem>

#include "ServiceSettings.hpp"
#include "platform/Logger.hpp"

namespace corvane::service {

// Installs or upgrades the daemon as the machine's tunnel service. Runs as root.
// Steps: refuse a daemon anyone but root could have changed; create the group
// "corvane" when missing and add the requesting user to it; create the shared
// profile folder (root:corvane, 2770); then either write the systemd unit and
// enable and start it (restart it on upgrade) or, without systemd, start the
// daemon itself after stopping the one it started before.
class ServiceInstallation {
public:
    ServiceInstallation(ServiceSettings settings, const platform::Logger& log);

    // Throws ServiceError.
    void install(const std::filesystem::path& daemon);
    // Stops the tunnel service and removes the unit written by install (the
    // package's removal runs this): the service is disabled and stopped, or the
    // daemon started without systemd is stopped.
    void uninstall();

private:
    gid_t ensureGroup();
    void addRequester();
    void prepareSharedFolder(gid_t group);
    void installSystemdUnit(const std::filesystem::path& daemon);

    ServiceSettings settings_;
    const platform::Logger& log_;
};

}  // namespace corvane::service
