#pragma once

#include <filesystem>

namespace corvane::service::TrustedExecutable {

// Why a daemon is refused, and what to do about it: such a daemon is one built
// in a folder of a user's, which the app finds beside itself in a build tree.
inline constexpr const char* kRefusal =
    "it and every folder above it must belong to root and be writable by nobody else.";
inline constexpr const char* kWhatToDo =
    "Install Corvane into a root-owned folder first (its Debian package, or bash scripts/run.sh as root, which "
    "installs it under /usr/local) and start the installed app.";

// Accepts only an absolute path to an executable regular file that, like every
// folder above it, belongs to root and is writable by nobody else (no link on
// the way), so the helper can never be made to run a user's file as root.
// Throws ServiceError (untrustedDaemon).
void require(const std::filesystem::path& path);

}  // namespace corvane::service::TrustedExecutable
