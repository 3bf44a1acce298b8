#include "AppState.hpp"

#include "AtomicFile.hpp"
#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "MainThread.hpp"

namespace corvane::app {

namespace {

// The export holds passwords: only its owner may read it.
constexpr mode_t kExportMode = 0600;

}  // namespace

AppState::AppState(AppEnvironment environment, QObject* parent)
    : QObject(parent),
      environment_(std::move(environment)),
      throughputTracker_(kThroughputCapacity),
      extensionManager_({environment_.daemon, environment_.installer, environment_.bundledBuild, environment_.appPath}),
      proxyHealth_(environment_.prober, environment_.scheduler, environment_.probeHost, environment_.probePort),
      store_(environment_.profileFolders),
      profile_(store_.load()) {
    connect(&extensionManager_, &ExtensionManager::extensionStatusChanged, this, &AppState::changed);
    connect(&extensionManager_, &ExtensionManager::engineStatusChanged, this, &AppState::changed);
    connect(&proxyHealth_, &ProxyHealthMonitor::statesChanged, this, &AppState::changed);
    connect(&extensionManager_, &ExtensionManager::profileStoreFailed, this, [this](const QString& description) {
        setLastError("Could not store profile in the tunnel configuration: " + description.toStdString());
    });
    connect(&extensionManager_, &ExtensionManager::secretsRecovered, this,
            [this](const Profile::CredentialSecrets& secrets) {
                setProfile(profile_.hydratingCredentialSecrets(secrets));
            });
    try {
        store_.save(profile_);
    } catch (const ConfigStore::SaveError&) {
        // The loaded profile is used all the same.
    }
    MainThread::post(this, [this] {
        if (extensionManager_.hasConfiguration()) return finishStartUp();
        extensionManager_.loadExistingConfiguration(this, [this] { finishStartUp(); });
    });
}

void AppState::finishStartUp() {
    const Profile::CredentialSecrets& secrets = extensionManager_.proxySecrets();
    if (!secrets.empty()) setProfile(profile_.hydratingCredentialSecrets(secrets));
    extensionManager_.applyProfile(profile_);
}

void AppState::setProfile(Profile profile) {
    if (profile == profile_) return;
    profile_ = std::move(profile);
    emit profileChanged();
    emit changed();
}

void AppState::setLastError(std::optional<std::string> error) {
    if (error == lastError_) return;
    lastError_ = std::move(error);
    emit lastErrorChanged();
    emit changed();
}

void AppState::saveProfile() {
    try {
        store_.save(profile_);
    } catch (const ConfigStore::SaveError& e) {
        setLastError(std::string("Could not save profile: ") + e.what());
        return;
    }
    extensionManager_.applyProfile(profile_, ExtensionManager::StoreFailure::report);
    setLastError(std::nullopt);
}

std::unique_ptr<RecordsPoll> AppState::pollRecords() {
    return std::make_unique<RecordsPoll>(*this, environment_.scheduler, environment_.clock);
}

void AppState::exportProfile(const std::filesystem::path& path) {
    try {
        AtomicFile::write(path, ProfileCodec::encode(profile_, true), kExportMode);
        setLastError(std::nullopt);
    } catch (const std::exception& e) {
        setLastError(std::string("Export failed: ") + e.what());
    }
}

// A missed or undecodable fetch empties the list but is not given to the
// tracker: the next good fetch is then measured from the last good one, instead
// of counting every kept record's bytes as new.
void AppState::takeFetchedRecords(std::optional<std::vector<ConnectionRecord>> records, Date at) {
    if (!records) {
        records_.clear();
    } else {
        records_.assign(records->rbegin(), records->rend());
        throughputTracker_.record(*records, at);
        throughput_.assign(throughputTracker_.samples().begin(), throughputTracker_.samples().end());
        emit throughputChanged();
    }
    emit recordsChanged();
    emit changed();
}

}  // namespace corvane::app
