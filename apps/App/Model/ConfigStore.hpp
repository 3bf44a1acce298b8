#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>

#include "CorvaneCore/Models/Profile.hpp"
#include "Shared/SharedConstants.hpp"

namespace corvane::app {

// The profile file "profile.json": in the shared folder the daemon reads, else
// in the user's data folder ("Corvane"). A profile written while the shared
// folder was missing is taken over from the user's data folder (the legacy
// location). Stored files never hold passwords.
//
// A current file that exists but cannot be read or decoded (damaged, or written
// by a newer version) is never overwritten: the first save renames it aside as
// "profile.json.unreadable-<UTC time>", byte for byte, then writes.
class ConfigStore {
public:
    using FolderSource = std::function<SharedConstants::Folders()>;

    // A profile file larger than this counts as unreadable.
    static constexpr std::uintmax_t kMaxFileSize = 16 * 1024 * 1024;

    class SaveError : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    explicit ConfigStore(FolderSource folders);

    // The current file, else the legacy file (then saved to the current
    // location, errors ignored), else the default profile (not written). Silent.
    Profile load() const;
    // Creates missing folders (mode 0700), blanks the passwords and replaces the
    // file atomically. Throws SaveError.
    void save(const Profile& profile) const;

    std::optional<std::filesystem::path> currentLocation() const;
    // None when it is the current location.
    std::optional<std::filesystem::path> legacyLocation() const;

private:
    static std::optional<Profile> read(const std::filesystem::path& path);
    static void setAsideUnreadable(const std::filesystem::path& path);

    FolderSource folders_;
};

}  // namespace corvane::app
