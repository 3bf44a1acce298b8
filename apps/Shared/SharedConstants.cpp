#include "Shared/SharedConstants.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace corvane::SharedConstants {
namespace {

bool isWritableFolder(const std::filesystem::path& folder) {
    std::error_code error;
    return std::filesystem::is_directory(folder, error) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// The home folder from the user database, for a process started without HOME.
std::optional<std::string> passwordDatabaseHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) != 0 ||
        result == nullptr || result->pw_dir == nullptr) {
        return std::nullopt;
    }
    return std::string(result->pw_dir);
}

}  // namespace

std::optional<std::filesystem::path> userDataFolder(const char* xdgDataHome, const char* home) {
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/') return std::filesystem::path(xdgDataHome);
    if (home != nullptr && home[0] == '/') return std::filesystem::path(home) / ".local" / "share";
    return std::nullopt;
}

Folders systemFolders(const std::filesystem::path& container) {
    Folders folders;
    if (isWritableFolder(container)) folders.container = container;
    const char* home = std::getenv("HOME");
    std::optional<std::string> databaseHome;
    if (home == nullptr || home[0] == '\0') {
        databaseHome = passwordDatabaseHome();
        home = databaseHome ? databaseHome->c_str() : nullptr;
    }
    folders.userData = userDataFolder(std::getenv("XDG_DATA_HOME"), home);
    return folders;
}

std::optional<std::filesystem::path> profileURL(const Folders& folders) {
    if (folders.container) return *folders.container / profileFileName;
    if (folders.userData) return *folders.userData / fallbackFolderName / profileFileName;
    return std::nullopt;
}

std::optional<std::filesystem::path> profileURL() { return profileURL(systemFolders()); }

}  // namespace corvane::SharedConstants
