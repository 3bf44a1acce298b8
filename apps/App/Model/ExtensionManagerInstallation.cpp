// The installation half of ExtensionManager: activation, properties and the
// answers of the installer.
#include "ExtensionManager.hpp"
#include "Shared/AppIdentifiers.hpp"

namespace corvane::app {

using platform::LogArg;

namespace {

const char* text(bool value) { return value ? "true" : "false"; }

std::string summary(const std::vector<ExtensionProperties>& properties) {
    std::string out;
    for (const ExtensionProperties& p : properties) {
        if (!out.empty()) out += "; ";
        out += "v" + p.shortVersion + "/" + p.bundleVersion + " enabled=" + text(p.enabled) +
               " awaitingApproval=" + text(p.awaitingApproval) + " uninstalling=" + text(p.uninstalling);
    }
    return out;
}

}  // namespace

void ExtensionManager::install() {
    if (activating_) return;
    activating_ = true;
    log_.info("Install requested. bundlePath=%{public}s tunnelID=%{public}s",
              {LogArg::publicText(deps_.appPath), LogArg::publicText(AppIdentifiers::tunnelIdentifier)});
    deps_.installer.submitActivation(
        this, {[this](platform::ExtensionVersion installed, platform::ExtensionVersion replacement) {
                   log_.info("Replacing extension %{public}s with %{public}s",
                             {LogArg::publicText(installed.shortVersion),
                              LogArg::publicText(replacement.shortVersion)});
               },
               [this] {
                   log_.info("requestNeedsUserApproval — approve in the administrator authorisation dialog");
                   setExtensionStatus(ExtensionStatus::needsUserApproval());
               },
               [this](ActivationResult result) {
                   log_.info("didFinishWithResult: %{public}s",
                             {LogArg::publicText(result == ActivationResult::completed ? "completed"
                                                                                       : "willCompleteAfterReboot")});
                   activating_ = false;
                   setExtensionStatus(ExtensionStatus::installed());
               },
               [this](RequestFailure failure) {
                   activating_ = false;
                   requestFailed(failure);
               }});
    setExtensionStatus(ExtensionStatus::activationRequested());
    log_.info("Activation request submitted");
}

void ExtensionManager::refreshExtensionStatus() {
    deps_.installer.submitPropertiesRequest(
        this, {[this](std::vector<ExtensionProperties> properties) { foundProperties(properties); },
               [this](RequestFailure failure) { requestFailed(failure); }});
}

void ExtensionManager::requestFailed(const RequestFailure& failure) {
    log_.error("didFailWithError: domain=%{public}s code=%ld — %{public}s",
               {LogArg::publicText(failure.domain), LogArg::number(failure.code),
                LogArg::publicText(failure.description)});
    setExtensionStatus(ExtensionStatus::failed("[" + std::to_string(failure.code) + "] " + failure.description));
}

void ExtensionManager::foundProperties(const std::vector<ExtensionProperties>& properties) {
    const ExtensionProperties* current = nullptr;
    for (const ExtensionProperties& p : properties) {
        if (!p.uninstalling) {
            current = &p;
            break;
        }
    }
    log_.info("foundProperties (%{public}ld): %{public}s",
              {LogArg::number(static_cast<long>(properties.size())), LogArg::publicText(summary(properties))});
    if (!current) {
        setExtensionStatus(ExtensionStatus::unknown());
    } else if (current->enabled) {
        setExtensionStatus(ExtensionStatus::installed());
    } else if (current->accessDenied) {
        setExtensionStatus(ExtensionStatus::accessDenied());
    } else if (current->awaitingApproval) {
        setExtensionStatus(ExtensionStatus::needsUserApproval());
    } else {
        setExtensionStatus(ExtensionStatus::unknown());
    }
    const std::string installed = current ? current->bundleVersion : std::string();
    const std::optional<std::string> bundled = deps_.bundledBuild();
    if (!installed.empty() && bundled && installed != *bundled) {
        log_.info("Extension build %{public}s is stale (bundle has %{public}s) — updating",
                  {LogArg::publicText(installed), LogArg::publicText(*bundled)});
        install();
    }
}

}  // namespace corvane::app
