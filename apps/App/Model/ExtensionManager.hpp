#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include "CorvaneCore/Models/Profile.hpp"
#include "DaemonConnection.hpp"
#include "EngineStatus.hpp"
#include "ExtensionStatus.hpp"
#include "OperationQueue.hpp"
#include "ServiceInstaller.hpp"
#include "Shared/ProviderRequest.hpp"
#include "platform/Logger.hpp"

namespace corvane::app {

// The app's one controller between it and the daemon: it installs or upgrades
// the daemon service, keeps the tunnel configuration (profile and passwords) in
// the daemon's store, starts and stops the tunnel, follows its status and
// carries provider messages. Main thread only.
//
// Every configuration operation (load, store, start) runs through one queue, one
// at a time and in order, so the daemon always ends on the newest profile and
// never gets two configurations. A queued store or start is not queued twice:
// the one waiting sends the newest profile when its turn comes.
class ExtensionManager : public QObject {
    Q_OBJECT

public:
    struct Dependencies {
        DaemonConnection& daemon;
        ServiceInstaller& installer;
        // The build number of the daemon the app ships; none when unknown.
        std::function<std::optional<std::string>()> bundledBuild;
        std::string appPath;
    };
    // Whether a failure to store the profile in the configuration is reported
    // through profileStoreFailed or only logged. Only a daemon's refusal is
    // ever reported: while none answers, the profile is stored once one does.
    enum class StoreFailure { logOnly, report };

    // The engine's error when Start finds no daemon, or one that refuses this account.
    static constexpr const char* kNoServiceText =
        "The tunnel service is not installed. Install it on the Settings page.";
    static constexpr const char* kNotPermittedText =
        "This account may not control the tunnel: it must be a member of the group “corvane” "
        "(log in again after joining it).";

    explicit ExtensionManager(Dependencies dependencies, QObject* parent = nullptr);

    const ExtensionStatus& extensionStatus() const { return extensionStatus_; }
    const EngineStatus& engineStatus() const { return engineStatus_; }
    // The passwords last read from or written to the configuration.
    const Profile::CredentialSecrets& proxySecrets() const { return proxySecrets_; }
    bool hasConfiguration() const { return manager_.has_value(); }

    void install();
    // Results show in engineStatus.
    void start();
    void toggle();
    void applyProfile(const Profile& profile, StoreFailure storeFailure = StoreFailure::logOnly);
    // The reply data, or none; `done` runs queued on the main thread.
    void sendProviderMessage(const ProviderRequest& request, QObject* context,
                             std::function<void(std::optional<platform::Bytes>)> done);
    void loadExistingConfiguration(QObject* context, std::function<void()> done);

signals:
    void extensionStatusChanged();
    void engineStatusChanged();
    void profileStoreFailed(const QString& description);
    // The passwords of a saved configuration, read after a profile without them
    // had been applied; the model puts them back into its profile.
    void secretsRecovered(const corvane::Profile::CredentialSecrets& secrets);

private:
    using Configuration = platform::TransparentProxyConfiguration;
    using Done = std::function<void(DaemonConnection::Failure)>;

    void loadOrCreateManager(Done done);
    void store(const Configuration& configuration, Done done);
    void takeSavedSecrets(const Configuration& saved);
    Configuration configured(Configuration configuration) const;
    void runApply(OperationQueue::Finish finish);
    void runStart(OperationQueue::Finish finish);
    void failStart(const DaemonFailure& failure);
    void daemonConnectionChanged();
    void refreshEngineStatus();
    void refreshExtensionStatus();
    void foundProperties(const std::vector<ExtensionProperties>& properties);
    void requestFailed(const RequestFailure& failure);
    void setEngineStatus(EngineStatus status);
    void setExtensionStatus(ExtensionStatus status);

    Dependencies deps_;
    platform::Logger log_;
    ExtensionStatus extensionStatus_;
    EngineStatus engineStatus_;
    std::optional<Configuration> manager_;
    Profile::CredentialSecrets proxySecrets_;
    // Set once a saved configuration was read: from then on the profile's
    // passwords are written exactly, so clearing the last one really clears it.
    bool secretsLoaded_ = false;
    std::optional<Profile> pendingProfile_;
    OperationQueue configurationQueue_;
    bool applyQueued_ = false;
    bool reportStoreFailure_ = false;
    // The last store found no daemon to take the profile.
    bool storeOwed_ = false;
    bool startQueued_ = false;
    // An activation runs until the installer finishes or fails it; another one
    // meanwhile would ask for a second authorisation and race the first.
    bool activating_ = false;
};

}  // namespace corvane::app
