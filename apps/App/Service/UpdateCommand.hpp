#pragma once

#include <filesystem>
#include <string_view>

#include "Updates/UpdateSignature.hpp"

// The helper's part in updating a root-owned install folder:
//   corvane-service install-update ARCHIVE VERSION BUILD SIGNATURE FOLDER
// The app has checked the release already; the helper trusts none of it. It
// accepts only a folder that, like every folder above it, belongs to root and
// is writable by nobody else; copies the archive into a private folder of its
// own; checks the signature of that copy, version and build against the key
// compiled into the helper; reads the installed build from the folder itself;
// and only then installs it (see UpdateInstallation).
namespace corvane::service::UpdateCommand {

struct Arguments {
    std::filesystem::path archive;
    std::string_view version;
    std::string_view build;
    std::string_view signatureBase64;
    std::filesystem::path folder;
};

// Throws ServiceError.
void run(const Arguments& arguments, const updates::UpdateSignature::PublicKey& key);

}  // namespace corvane::service::UpdateCommand
