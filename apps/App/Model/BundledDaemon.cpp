#include "BundledDaemon.hpp"

#include "Updates/BuildFile.hpp"

namespace corvane::app {

namespace fs = std::filesystem;


BundledDaemon BundledDaemon::locate(const fs::path& appDirectory) {
    const fs::path installed = appDirectory / ".." / "libexec" / "corvane";
    std::error_code error;
    if (fs::is_regular_file(installed / kDaemonName, error)) {
        const fs::path folder = installed.lexically_normal();
        return {folder / kDaemonName, folder / kBuildFileName, folder / kHelperName};
    }
    const fs::path tunnel = (appDirectory / ".." / "Tunnel").lexically_normal();
    return {tunnel / kDaemonName, tunnel / kBuildFileName, appDirectory / "Service" / kHelperName};
}

std::optional<std::string> BundledDaemon::build() const { return updates::BuildFile::read(buildFile); }

}  // namespace corvane::app
