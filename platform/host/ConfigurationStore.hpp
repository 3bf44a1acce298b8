#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/TransparentProxyConfiguration.hpp"

namespace corvane::platform {

// A configuration that could not be stored or read back.
class ConfigurationStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The one saved transparent-proxy configuration of the machine, kept in memory and
// in "configuration.json" (mode 0600) in the state folder. Saves replace the file
// atomically. A damaged file found at start is renamed aside and loading reports
// an error until the next save, so nothing silently replaces it.
class ConfigurationStore {
public:
    static constexpr std::uintmax_t kMaxFileSize = 16 * 1024 * 1024;

    // Reads the file now; creates the folder when missing.
    explicit ConfigurationStore(std::filesystem::path stateDirectory);

    // The saved configurations (none or one); throws ConfigurationStoreError after
    // a damaged file was found.
    std::vector<TransparentProxyConfiguration> load() const;
    // Replaces the saved configuration; throws ConfigurationStoreError, and keeps
    // the saved one, for a configuration the file could not give back after a
    // restart (too large once written, nested too deep, read back differently).
    void save(const TransparentProxyConfiguration& configuration);
    // The saved protocol at this moment; null when nothing is saved.
    std::shared_ptr<const TunnelProviderProtocol> protocolConfiguration() const;

    std::filesystem::path filePath() const { return directory_ / "configuration.json"; }

private:
    void readFile();
    void setAsideDamagedFile(const std::string& reason);

    std::filesystem::path directory_;
    mutable std::mutex lock_;
    std::optional<TransparentProxyConfiguration> configuration_;
    std::shared_ptr<const TunnelProviderProtocol> protocol_;
    std::optional<std::string> damage_;
};

}  // namespace corvane::platform
