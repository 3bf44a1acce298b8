#pragma once

#include <filesystem>

namespace corvane::service::TrustedExecutable {

// Accepts only an absolute path to an executable regular file that, like every
// folder above it, belongs to root and is writable by nobody else (no link on
// the way), so the helper can never be made to run a user's file as root.
// Throws ServiceError (untrustedDaemon).
void require(const std::filesystem::path& path);

}  // namespace corvane::service::TrustedExecutable
