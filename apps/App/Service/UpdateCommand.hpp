#pragma once

#include <filesystem>
#include <string_view>

#include "Updates/UpdateSignature.hpp"

// The helper's part in updating a root-owned install folder:
//   corvane-service install-update ARCHIVE SIGNATURE FOLDER
// The app has checked the archive already; the helper trusts none of it. It
// accepts only a folder that, like every folder above it, belongs to root and
// is writable by nobody else; copies the archive into a private folder of its
// own; checks the signature of that copy against the key compiled into the
// helper; and only then installs it (see UpdateInstallation).
namespace corvane::service::UpdateCommand {

// Throws ServiceError.
void run(const std::filesystem::path& archive, std::string_view signatureBase64, const std::filesystem::path& folder,
         const updates::UpdateSignature::PublicKey& key);

}  // namespace corvane::service::UpdateCommand
