#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>

#include "AppEnvironment.hpp"
#include "ConfigStore.hpp"
#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "CorvaneCore/Logging/ThroughputTracker.hpp"
#include "CorvaneCore/Models/Profile.hpp"
#include "ExtensionManager.hpp"
#include "ProxyHealthMonitor.hpp"
#include "RecordsPoll.hpp"

namespace corvane::app {

// The app's one model: the live profile, the connection records last fetched
// from the daemon (newest first), the throughput series and the last error to
// show; it owns the extension manager, the proxy health monitor, the profile
// store and the throughput tracker. Main thread only.
class AppState : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kThroughputCapacity = 120;

    // Loads the profile, writes it straight back, and starts the start-up task:
    // the saved configuration's passwords are put back into the profile, which
    // is then applied.
    explicit AppState(AppEnvironment environment, QObject* parent = nullptr);

    const Profile& profile() const { return profile_; }
    // Editors change the profile, then call saveProfile().
    void setProfile(Profile profile);
    const std::vector<ConnectionRecord>& records() const { return records_; }
    const std::optional<std::string>& lastError() const { return lastError_; }
    void setLastError(std::optional<std::string> error);
    const std::vector<ThroughputTracker::Sample>& throughput() const { return throughput_; }

    ExtensionManager& extensionManager() { return extensionManager_; }
    ProxyHealthMonitor& proxyHealth() { return proxyHealth_; }
    const ConfigStore& store() const { return store_; }

    // Writes the profile file and, when that worked, stores the profile in the
    // tunnel configuration and sends it to the running daemon. Failures go to
    // lastError.
    void saveProfile();
    // The records poll of the Connections page, every 2 s while it exists.
    std::unique_ptr<RecordsPoll> pollRecords();
    // The profile document with its passwords, pretty-printed, written at once
    // with mode 0600. Failures go to lastError.
    void exportProfile(const std::filesystem::path& path);

    // "Direct", "Block", "Proxy: " + name, "Chain: " + names joined " → ",
    // "Failover: " + names joined ", then "; a missing proxy is "(missing)".
    std::string actionLabel(const RuleAction& action) const;
    // The CSV text of the connection list (see AppStateTexts.cpp).
    static std::string connectionsCSV(const std::vector<ConnectionRecord>& records);

signals:
    void profileChanged();
    void recordsChanged();
    void lastErrorChanged();
    void throughputChanged();
    // Any change of the model, its engine or extension status or a proxy's state.
    void changed();

private:
    friend class RecordsPoll;

    void finishStartUp();
    // A fetch's records (none: no reply or not decodable) taken at `at`.
    void takeFetchedRecords(std::optional<std::vector<ConnectionRecord>> records, Date at);

    AppEnvironment environment_;
    std::vector<ConnectionRecord> records_;
    std::optional<std::string> lastError_;
    std::vector<ThroughputTracker::Sample> throughput_;
    ThroughputTracker throughputTracker_;
    ExtensionManager extensionManager_;
    ProxyHealthMonitor proxyHealth_;
    ConfigStore store_;
    Profile profile_;
};

}  // namespace corvane::app
