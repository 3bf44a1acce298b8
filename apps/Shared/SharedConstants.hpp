#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

// Where the app and the daemon find the shared profile file. The app writes
// it (passwords blanked); the daemon only reads it.
namespace corvane::SharedConstants {

// The app group's container: owner root, group "corvane", writable by both.
inline constexpr std::string_view appGroupContainer = "/var/lib/corvane/shared";
// Folder appended to the user's data folder when the container is unavailable.
inline constexpr std::string_view fallbackFolderName = "Corvane";
inline constexpr std::string_view profileFileName = "profile.json";

// The folders the location is computed from; absent when the system has none.
struct Folders {
    std::optional<std::filesystem::path> container;
    std::optional<std::filesystem::path> userData;
};

// The container when it is a folder this process may write into, and the
// user's data folder ($XDG_DATA_HOME, else ~/.local/share), read anew.
Folders systemFolders(const std::filesystem::path& container = appGroupContainer);

// The user's data folder from the values of XDG_DATA_HOME and HOME: an
// absolute XDG_DATA_HOME, else HOME + "/.local/share"; none without either.
std::optional<std::filesystem::path> userDataFolder(const char* xdgDataHome, const char* home);

// "profile.json" in the container, else in "Corvane" inside the user's data
// folder; none when the system offers neither.
std::optional<std::filesystem::path> profileURL(const Folders& folders);
std::optional<std::filesystem::path> profileURL();

}  // namespace corvane::SharedConstants
