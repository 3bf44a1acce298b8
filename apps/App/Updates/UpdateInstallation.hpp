#pragma once

#include <filesystem>
#include <string>

#include "UpdateSignature.hpp"

// Installing a signed release over the app's install folder.
//
// A release archive is a gzip-compressed tar of the whole install folder: the
// marker file "corvane.release" at its top, the app in bin/, the daemon, its
// build file and the helper in libexec/corvane/. Only a folder holding the
// marker, one that was unpacked from a release archive, is ever replaced: an
// app installed by other means (a distribution package, a source build)
// updates the way it came. The installed build is read from the folder itself,
// and only a newer release replaces it.
namespace corvane::updates::UpdateInstallation {

inline constexpr const char* kMarkerName = "corvane.release";
inline constexpr const char* kAppPath = "bin/corvane";

// What the release's signature covers besides the archive.
struct Release {
    std::string version;
    std::string build;
    UpdateSignature::Signature signature{};
};

// Whether `folder` holds a release (the marker, the app and the build file).
bool isReleaseFolder(const std::filesystem::path& folder);

// Checks the release's signature, that it is newer than the build installed in
// `folder`, unpacks it into a new folder beside `folder` (see ReleaseArchive),
// checks that it is a release and that nobody else could have changed it (see
// StagedTree), and swaps it in at once; the old content is then removed.
// Nothing changes when any step fails. Throws UpdateError.
void install(const std::filesystem::path& archive, const Release& release, const UpdateSignature::PublicKey& key,
             const std::filesystem::path& folder);

}  // namespace corvane::updates::UpdateInstallation
