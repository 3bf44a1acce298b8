#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "DesktopEntry.hpp"
#include "InstalledApp.hpp"

namespace corvane::app {

// Lists the installed applications (the XDG desktop entries of the application
// folders) together with the identifiers seen in the connection records. It
// only reads files, so it may run on any thread.
class InstalledAppsScanner {
public:
    // Entries read per folder at most.
    static constexpr std::size_t kMaximumEntriesPerFolder = 5000;

    struct Sources {
        // The application folders, the user's own first (as XDG lists them).
        std::vector<std::filesystem::path> folders;
        // Where programs named without a folder are looked for (PATH).
        std::vector<std::filesystem::path> searchPath;
        // The locale for localised names and the order, e.g. "de_DE".
        std::string locale;
    };

    // The folders of QStandardPaths, this process's PATH and the system locale.
    static Sources systemSources();

    // Every application entry of the folders' direct *.desktop files that is
    // shown in menus (Type=Application, not NoDisplay, not Hidden); a user's
    // entry replaces a system one of the same file name or identifier. Seen
    // identifiers without an entry are added under the last part of their
    // name. Seen ones first, then by name, case-insensitively.
    static std::vector<InstalledApp> scan(const Sources& sources, const std::set<std::string>& seenIdentifiers);

    // What the daemon reports for the entry's program: the Flatpak ID of a
    // Flatpak export, else the file name of the executable its Exec= runs,
    // found on the search path and with symbolic links followed, as the kernel
    // names a running program's executable.
    static std::optional<std::string> identifier(const DesktopEntry& entry,
                                                 const std::vector<std::filesystem::path>& searchPath);
    // The last non-empty "."-separated part of an identifier, or the whole of it.
    static std::string seenOnlyName(std::string_view identifier);
};

}  // namespace corvane::app
