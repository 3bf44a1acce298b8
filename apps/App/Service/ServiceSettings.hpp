#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace corvane::service {

// Where and for whom the helper installs. The runtime and state folders follow
// the daemon's own rule (RUNTIME_DIRECTORY, STATE_DIRECTORY, else /run/corvane
// and /var/lib/corvane); pkexec clears the environment, so through pkexec they
// are always the defaults.
struct ServiceSettings {
    std::filesystem::path runtimeDirectory;
    std::filesystem::path stateDirectory;
    std::filesystem::path unitFile = "/etc/systemd/system/corvane-tunnel.service";
    // The unit the Debian package ships; when it already runs the same daemon the
    // same way, no unit of our own is written over it.
    std::filesystem::path packagedUnitFile = "/usr/lib/systemd/system/corvane-tunnel.service";
    std::string group = "corvane";
    // systemd is the init system (sd_booted's test).
    bool systemdRunning = false;
    // The user who asked through pkexec (PKEXEC_UID), added to the group.
    std::optional<uid_t> requester;

    static ServiceSettings fromEnvironment();
};

}  // namespace corvane::service
