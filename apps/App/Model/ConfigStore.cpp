#include "ConfigStore.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

#include "AtomicFile.hpp"
#include "CorvaneCore/Persistence/ProfileCodec.hpp"

namespace corvane::app {

namespace fs = std::filesystem;

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0640;
// Names tried for one setting-aside before giving up.
constexpr int kAsideAttempts = 100;

std::string reason(int error) { return std::string(std::strerror(error)) + "."; }

[[noreturn]] void failToCreate(const fs::path& folder, int error) {
    throw ConfigStore::SaveError("Could not create the folder “" + folder.string() + "”: " + reason(error));
}

void createFolders(const fs::path& folder) {
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), kFolderMode) != 0 && errno != EEXIST) failToCreate(partial, errno);
    }
    std::error_code error;
    if (!fs::is_directory(folder, error)) failToCreate(folder, ENOTDIR);
}

std::string utcStamp() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
    return text;
}

}  // namespace

ConfigStore::ConfigStore(FolderSource folders) : folders_(std::move(folders)) {}

std::optional<fs::path> ConfigStore::currentLocation() const { return SharedConstants::profileURL(folders_()); }

std::optional<fs::path> ConfigStore::legacyLocation() const {
    const SharedConstants::Folders folders = folders_();
    if (!folders.userData) return std::nullopt;
    const fs::path legacy = *folders.userData / SharedConstants::fallbackFolderName / SharedConstants::profileFileName;
    if (legacy == SharedConstants::profileURL(folders)) return std::nullopt;
    return legacy;
}

std::optional<Profile> ConfigStore::read(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error || size > kMaxFileSize) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in || bytes.size() != size) return std::nullopt;
    try {
        return ProfileCodec::decode(bytes);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

Profile ConfigStore::load() const {
    if (const auto current = currentLocation()) {
        if (auto profile = read(*current)) return *profile;
    }
    if (const auto legacy = legacyLocation()) {
        if (auto profile = read(*legacy)) {
            try {
                save(*profile);
            } catch (const SaveError&) {
                // The next successful save writes the current file.
            }
            return *profile;
        }
    }
    return Profile::makeDefault();
}

void ConfigStore::save(const Profile& profile) const {
    const auto current = currentLocation();
    if (!current) throw SaveError("No folder is available for the profile file.");
    createFolders(current->parent_path());
    setAsideUnreadable(*current);
    std::vector<std::uint8_t> bytes;
    try {
        bytes = ProfileCodec::encode(profile.strippingCredentialSecrets(), true);
    } catch (const std::exception& e) {
        throw SaveError(e.what());
    }
    try {
        AtomicFile::write(*current, bytes, kFileMode);
    } catch (const AtomicFile::WriteError& e) {
        throw SaveError(e.what());
    }
}

void ConfigStore::setAsideUnreadable(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || read(path)) return;
    const std::string base = path.string() + ".unreadable-" + utcStamp();
    for (int attempt = 1; attempt <= kAsideAttempts; ++attempt) {
        const std::string aside = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) return;
        if (errno != EEXIST) break;
    }
    throw SaveError("Could not set the unreadable profile “" + path.string() + "” aside: " + reason(errno));
}

}  // namespace corvane::app
