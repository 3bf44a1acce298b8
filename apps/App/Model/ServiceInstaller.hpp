#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QObject>

#include "platform/ExtensionVersion.hpp"

namespace corvane::app {

// What the platform tells about the installed daemon service.
struct ExtensionProperties {
    std::string shortVersion;
    std::string bundleVersion;  // the build; empty when the service does not say
    bool enabled = false;
    bool awaitingApproval = false;
    bool uninstalling = false;
    // The service runs, but refuses this account (not root, not in the group "corvane").
    bool accessDenied = false;

    friend bool operator==(const ExtensionProperties&, const ExtensionProperties&) = default;
};

// A failed installer request: where it failed, its code and its text.
struct RequestFailure {
    std::string domain;
    long code = 0;
    std::string description;

    friend bool operator==(const RequestFailure&, const RequestFailure&) = default;
};

enum class ActivationResult { completed, willCompleteAfterReboot };

// Installs or upgrades the daemon as a system service, and tells what is
// installed. The installer owns every request it runs, so a caller that lets go
// of one never loses its answers. Answers arrive on the main thread, queued, and
// are dropped when the context object is gone.
class ServiceInstaller {
public:
    struct ActivationDelegate {
        // The installed daemon is being replaced by the bundled one (always replaced).
        std::function<void(platform::ExtensionVersion installed, platform::ExtensionVersion replacement)> replacing;
        // Sent before the administrator's authorisation is asked for.
        std::function<void()> needsUserApproval;
        std::function<void(ActivationResult)> finished;
        std::function<void(RequestFailure)> failed;
    };
    // A properties request ends with found properties or a failure, never with finished.
    struct PropertiesDelegate {
        std::function<void(std::vector<ExtensionProperties>)> found;
        std::function<void(RequestFailure)> failed;
    };

    virtual ~ServiceInstaller() = default;
    virtual void submitActivation(QObject* context, ActivationDelegate delegate) = 0;
    virtual void submitPropertiesRequest(QObject* context, PropertiesDelegate delegate) = 0;
};

}  // namespace corvane::app
