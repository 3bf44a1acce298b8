#include "ServiceInstallation.hpp"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "DetachedDaemon.hpp"
#include "ServiceError.hpp"
#include "ServiceUnit.hpp"
#include "SystemCommand.hpp"
#include "TrustedExecutable.hpp"

namespace corvane::service {

namespace fs = std::filesystem;
using platform::LogArg;

namespace {

[[noreturn]] void fail(const std::string& message) { throw ServiceError(ServiceError::Code::failed, message); }

std::optional<gid_t> groupId(const std::string& name) {
    std::array<char, 16384> buffer{};
    group entry{};
    group* found = nullptr;
    if (::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return std::nullopt;
    return found->gr_gid;
}

std::optional<std::string> userName(uid_t uid) {
    std::array<char, 16384> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return std::nullopt;
    return std::string(found->pw_name);
}

void writeFile(const fs::path& path, const std::string& text) {
    const fs::path temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text;
        if (!out.flush()) fail("Could not write " + temporary.string() + ".");
    }
    if (::chmod(temporary.c_str(), 0644) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        fail("Could not write " + path.string() + ": " + std::strerror(errno) + ".");
    }
}

// The whole text of a small file; empty when it cannot be read.
std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

ServiceInstallation::ServiceInstallation(ServiceSettings settings, const platform::Logger& log)
    : settings_(std::move(settings)), log_(log) {}

void ServiceInstallation::install(const fs::path& daemon) {
    TrustedExecutable::require(daemon);
    const gid_t group = ensureGroup();
    addRequester();
    prepareSharedFolder(group);
    if (settings_.systemdRunning) return installSystemdUnit(daemon);
    DetachedDaemon detached(settings_.runtimeDirectory, settings_.stateDirectory, log_);
    detached.stopPrevious();
    detached.start(daemon);
}

void ServiceInstallation::uninstall() {
    if (!settings_.systemdRunning) {
        return DetachedDaemon(settings_.runtimeDirectory, settings_.stateDirectory, log_).stopPrevious();
    }
    // Not installed as a service is fine: there is nothing to stop then.
    SystemCommand::run({"systemctl", "disable", "--now", ServiceUnit::kName});
    std::error_code ignored;
    if (fs::remove(settings_.unitFile, ignored)) SystemCommand::run({"systemctl", "daemon-reload"});
}

gid_t ServiceInstallation::ensureGroup() {
    if (const auto existing = groupId(settings_.group)) return *existing;
    SystemCommand::require({"groupadd", "--system", settings_.group});
    const auto created = groupId(settings_.group);
    if (!created) fail("The group “" + settings_.group + "” could not be created.");
    log_.info("Created the group %{public}s", {LogArg::publicText(settings_.group)});
    return *created;
}

void ServiceInstallation::addRequester() {
    if (!settings_.requester || *settings_.requester == 0) return;
    const auto name = userName(*settings_.requester);
    if (!name) fail("The user " + std::to_string(*settings_.requester) + " does not exist.");
    SystemCommand::require({"usermod", "--append", "--groups", settings_.group, *name});
    log_.info("Added %{public}s to the group %{public}s",
              {LogArg::publicText(*name), LogArg::publicText(settings_.group)});
}

void ServiceInstallation::prepareSharedFolder(gid_t group) {
    const fs::path shared = settings_.stateDirectory / "shared";
    std::error_code error;
    fs::create_directories(shared, error);
    if (::chown(shared.c_str(), 0, group) != 0 || ::chmod(shared.c_str(), 02770) != 0) {
        fail("Could not prepare the shared folder " + shared.string() + ": " + std::strerror(errno) + ".");
    }
}

void ServiceInstallation::installSystemdUnit(const fs::path& daemon) {
    std::error_code error;
    const std::string unit = ServiceUnit::text(daemon);
    // The packaged unit already runs this daemon: a copy of our own would only
    // shadow it. Restarting starts a stopped service too.
    const bool packaged = readFile(settings_.packagedUnitFile) == unit;
    const bool upgrade = packaged || fs::exists(settings_.unitFile, error);
    if (packaged) fs::remove(settings_.unitFile, error);
    else writeFile(settings_.unitFile, unit);
    SystemCommand::require({"systemctl", "daemon-reload"});
    if (upgrade) {
        SystemCommand::require({"systemctl", "enable", ServiceUnit::kName});
        SystemCommand::require({"systemctl", "restart", ServiceUnit::kName});
    } else {
        SystemCommand::require({"systemctl", "enable", "--now", ServiceUnit::kName});
    }
    log_.info("Installed %{public}s as the systemd service %{public}s",
              {LogArg::publicText(daemon.string()), LogArg::publicText(ServiceUnit::kName)});
}

}  // namespace corvane::service
