#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane::platform {

// What Linux offers in place of a signing identifier, from the file a process
// really executes (RealExecutable): the Flatpak application ID when that file
// is part of the application's system-wide installation, else the file's
// name. Nothing the process itself writes (its .flatpak-info, the name it was
// started under) goes into it. It is a claim, trusted only together with a
// valid code identity.
class SigningIdentifier {
public:
    static constexpr std::string_view kFlatpakSystemApps = "/var/lib/flatpak/app/";

    // For the executable at `path` in the daemon's view; `verified`: whether
    // nobody but root can have put it there. "" without a path.
    static std::string of(const std::optional<std::string>& path, bool verified);

    // <ID> of a file under /var/lib/flatpak/app/<ID>/; nothing elsewhere.
    static std::optional<std::string> flatpakApplicationID(std::string_view path);

    // The last component of a path ("" for none).
    static std::string fileName(std::string_view path);
};

}  // namespace corvane::platform
