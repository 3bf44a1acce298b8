#pragma once

#include <filesystem>

#include "UpdateSignature.hpp"

// Installing a verified update archive over the app's install folder.
//
// A release archive is a gzip-compressed tar of the whole install folder: the
// marker file "corvane.release" at its top, the app in bin/, the daemon and the
// helper in libexec/corvane/. Only a folder holding the marker, one that was
// unpacked from a release archive, is ever replaced: an app installed by other
// means (a distribution package, a source build) updates the way it came.
namespace corvane::updates::UpdateInstallation {

inline constexpr const char* kMarkerName = "corvane.release";
inline constexpr const char* kAppPath = "bin/corvane";

// Whether `folder` holds a release (the marker and the app).
bool isReleaseFolder(const std::filesystem::path& folder);

// Checks the archive's signature, unpacks it into a new folder beside `folder`,
// checks that it is a release and swaps it in at once; the old content is then
// removed. Nothing changes when any step fails. Throws UpdateError.
void install(const std::filesystem::path& archive, const UpdateSignature::Signature& signature,
             const UpdateSignature::PublicKey& key, const std::filesystem::path& folder);

}  // namespace corvane::updates::UpdateInstallation
