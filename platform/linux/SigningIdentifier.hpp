#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane::platform {

// What Linux offers in place of a signing identifier: the Flatpak application
// ID of a sandboxed process, else the file name of its executable. It is a
// claim, trusted only together with a valid code identity.
class SigningIdentifier {
public:
    // "" when the process is gone or unreadable.
    static std::string forProcess(int pid);

    // `[Application] name=` of a .flatpak-info file.
    static std::optional<std::string> flatpakApplicationID(std::string_view flatpakInfo);
    // `[Instance] app-path=` of a .flatpak-info file.
    static std::optional<std::string> flatpakAppPath(std::string_view flatpakInfo);
    // A value of one section of an INI-style text.
    static std::optional<std::string> iniValue(std::string_view text, std::string_view section, std::string_view key);

    // The last component of a path ("" for none).
    static std::string fileName(std::string_view path);
};

}  // namespace corvane::platform
