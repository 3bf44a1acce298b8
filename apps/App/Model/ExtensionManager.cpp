#include "ExtensionManager.hpp"

#include <exception>
#include <utility>

#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "MainThread.hpp"
#include "Shared/AppIdentifiers.hpp"
#include "Shared/ProviderConfiguration.hpp"

namespace corvane::app {

using platform::LogArg;
using platform::SessionStatus;
using Finish = OperationQueue::Finish;

namespace {

Profile::CredentialSecrets secretsOf(const platform::TransparentProxyConfiguration& configuration) {
    const auto& values = configuration.protocolConfiguration.providerConfiguration;
    if (!values) return {};
    const auto it = values->find(std::string(ProviderConfiguration::proxySecretsKey));
    if (it == values->end()) return {};
    const auto* secrets = std::get_if<platform::StringMap>(&it->second);
    return secrets ? *secrets : Profile::CredentialSecrets{};
}

}  // namespace

ExtensionManager::ExtensionManager(Dependencies dependencies, QObject* parent)
    : QObject(parent),
      deps_(std::move(dependencies)),
      log_(std::string(AppIdentifiers::appIdentifier), "extension-manager") {
    connect(&deps_.daemon, &DaemonConnection::statusChanged, this, &ExtensionManager::refreshEngineStatus);
    connect(&deps_.daemon, &DaemonConnection::connectionChanged, this, &ExtensionManager::daemonConnectionChanged);
    MainThread::post(this, [this] { loadExistingConfiguration(this, [] {}); });
}

void ExtensionManager::loadExistingConfiguration(QObject* context, std::function<void()> done) {
    auto deliver = MainThread::bind<>(context, std::move(done));
    configurationQueue_.enqueue([this, deliver](Finish finish) {
        deps_.daemon.loadConfigurations(this, [this, deliver, finish](DaemonConnection::LoadResult result) {
            if (result.configurations && !result.configurations->empty()) {
                manager_ = result.configurations->front();
                proxySecrets_ = secretsOf(*manager_);
                secretsLoaded_ = true;
                refreshEngineStatus();
            }
            refreshExtensionStatus();
            deliver();
            finish();
        });
    });
}

void ExtensionManager::loadOrCreateManager(Done done) {
    deps_.daemon.loadConfigurations(this, [this, done](DaemonConnection::LoadResult result) {
        if (!result.configurations) return done(result.error);
        Configuration saved;
        if (!result.configurations->empty()) {
            saved = result.configurations->front();
            takeSavedSecrets(saved);
        }
        store(configured(std::move(saved)), done);
    });
}

// Saves the configuration and reads it back as the one kept.
void ExtensionManager::store(const Configuration& configuration, Done done) {
    deps_.daemon.saveConfiguration(configuration, this, [this, configuration, done](DaemonConnection::Failure error) {
        if (error) return done(error);
        deps_.daemon.loadConfigurations(this, [this, configuration, done](DaemonConnection::LoadResult reloaded) {
            if (!reloaded.configurations) return done(reloaded.error);
            manager_ = reloaded.configurations->empty() ? configuration : reloaded.configurations->front();
            secretsLoaded_ = true;
            done(std::nullopt);
        });
    });
}

// Until a saved configuration has been read, an empty set of passwords means
// "not known yet", so the saved ones are kept (and handed to the model).
void ExtensionManager::takeSavedSecrets(const Configuration& saved) {
    if (secretsLoaded_) return;
    secretsLoaded_ = true;
    if (!proxySecrets_.empty()) return;
    proxySecrets_ = secretsOf(saved);
    if (!proxySecrets_.empty()) emit secretsRecovered(proxySecrets_);
}

ExtensionManager::Configuration ExtensionManager::configured(Configuration configuration) const {
    configuration.localizedDescription = std::string(AppIdentifiers::productName);
    configuration.enabled = true;
    auto& protocol = configuration.protocolConfiguration;
    protocol.providerBundleIdentifier = std::string(AppIdentifiers::tunnelIdentifier);
    protocol.serverAddress = std::string(AppIdentifiers::productName);
    auto values = protocol.providerConfiguration.value_or(platform::ConfigurationDictionary{});
    values[std::string(ProviderConfiguration::proxySecretsKey)] = platform::StringMap(proxySecrets_);
    if (pendingProfile_) {
        try {
            values[std::string(ProviderConfiguration::profileKey)] = ProfileCodec::encode(*pendingProfile_, false);
        } catch (const std::exception&) {
            // A profile that cannot be encoded leaves the stored one in place.
        }
    }
    protocol.providerConfiguration = std::move(values);
    return configuration;
}

void ExtensionManager::start() {
    setEngineStatus(EngineStatus::starting());
    if (startQueued_) return;
    startQueued_ = true;
    configurationQueue_.enqueue([this](Finish finish) { runStart(std::move(finish)); });
}

void ExtensionManager::runStart(Finish finish) {
    startQueued_ = false;
    loadOrCreateManager([this, finish](DaemonConnection::Failure failure) {
        if (failure) {
            failStart(*failure);
            return finish();
        }
        deps_.daemon.startTunnel(this, [this, finish](DaemonConnection::Failure failure) {
            if (failure) {
                failStart(*failure);
            } else {
                refreshEngineStatus();
            }
            finish();
        });
    });
}

// Without a daemon to talk to, the engine's error says what to do about it.
void ExtensionManager::failStart(const DaemonFailure& failure) {
    switch (failure.kind) {
        case DaemonFailure::Kind::unreachable: setEngineStatus(EngineStatus::error(kNoServiceText)); break;
        case DaemonFailure::Kind::notPermitted: setEngineStatus(EngineStatus::error(kNotPermittedText)); break;
        case DaemonFailure::Kind::refused: setEngineStatus(EngineStatus::error(failure.description)); break;
    }
    log_.error("Failed to start engine: %s", {LogArg::privateText(failure.description)});
}

void ExtensionManager::toggle() {
    if (engineStatus_.kind != EngineStatus::Kind::running) return start();
    if (!manager_) return refreshEngineStatus();
    deps_.daemon.stopTunnel(this, [this] { refreshEngineStatus(); });
}

void ExtensionManager::applyProfile(const Profile& profile, StoreFailure storeFailure) {
    proxySecrets_ = profile.credentialSecrets();
    pendingProfile_ = profile;
    if (storeFailure == StoreFailure::report) reportStoreFailure_ = true;
    if (applyQueued_) return;
    applyQueued_ = true;
    configurationQueue_.enqueue([this](Finish finish) { runApply(std::move(finish)); });
}

void ExtensionManager::runApply(Finish finish) {
    applyQueued_ = false;
    const bool report = std::exchange(reportStoreFailure_, false);
    loadOrCreateManager([this, report, finish](DaemonConnection::Failure failure) {
        // A daemon that refused is worth an alert; with none to talk to, the
        // profile waits in profile.json and goes over once one answers.
        storeOwed_ = failure && failure->kind != DaemonFailure::Kind::refused;
        if (failure) {
            log_.error("Failed to store profile in the tunnel configuration: %s",
                       {LogArg::privateText(failure->description)});
            if (report && !storeOwed_) emit profileStoreFailed(QString::fromStdString(failure->description));
        }
        const ProviderRequest reload{ProviderRequest::Kind::reloadProfile, pendingProfile_};
        sendProviderMessage(reload, this, [finish](std::optional<platform::Bytes>) { finish(); });
    });
}

void ExtensionManager::sendProviderMessage(const ProviderRequest& request, QObject* context,
                                           std::function<void(std::optional<platform::Bytes>)> done) {
    auto deliver = MainThread::bind<std::optional<platform::Bytes>>(context, std::move(done));
    if (!manager_) {
        log_.error("sendProviderMessage(%{public}s): no manager/connection",
                   {LogArg::publicText(toString(request.kind))});
        return deliver(std::nullopt);
    }
    const SessionStatus status = deps_.daemon.status();
    if (status != SessionStatus::connected) {
        log_.error("sendProviderMessage: session status is %ld (need connected)",
                   {LogArg::number(static_cast<long>(status))});
        return deliver(std::nullopt);
    }
    const std::string data = request.encoded();
    deps_.daemon.sendProviderMessage(platform::Bytes(data.begin(), data.end()), this,
                                     [this, deliver](DaemonConnection::MessageResult result) {
                                         if (result.error) {
                                             log_.error("sendProviderMessage threw: %{public}s",
                                                        {LogArg::publicText(result.error->description)});
                                             return deliver(std::nullopt);
                                         }
                                         deliver(std::move(result.reply));
                                     });
}

// The installation status follows the daemon's connection both ways; a daemon
// that answers again gets the profile it missed (and a refusal of it shows),
// or is read for the first time.
void ExtensionManager::daemonConnectionChanged() {
    const bool connected = deps_.daemon.connected();
    if (connected && storeOwed_ && pendingProfile_) {
        applyProfile(*pendingProfile_, StoreFailure::report);
    } else if (connected && !manager_) {
        return loadExistingConfiguration(this, [] {});
    }
    // An activation under way reports its own outcome.
    if (!activating_) refreshExtensionStatus();
}

void ExtensionManager::refreshEngineStatus() {
    if (!manager_) return setEngineStatus(EngineStatus::stopped());
    switch (deps_.daemon.status()) {
        case SessionStatus::connecting:
        case SessionStatus::reasserting: return setEngineStatus(EngineStatus::starting());
        case SessionStatus::connected: return setEngineStatus(EngineStatus::running());
        default: return setEngineStatus(EngineStatus::stopped());
    }
}

void ExtensionManager::setEngineStatus(EngineStatus status) {
    if (status == engineStatus_) return;
    engineStatus_ = std::move(status);
    emit engineStatusChanged();
}

void ExtensionManager::setExtensionStatus(ExtensionStatus status) {
    if (status == extensionStatus_) return;
    extensionStatus_ = std::move(status);
    emit extensionStatusChanged();
}

}  // namespace corvane::app
