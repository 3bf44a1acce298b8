#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CorvaneCore/Engine/FlowSource.hpp"
#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "platform/linux/PackageIndex.hpp"

namespace corvane::app {

// What the daemon would know of a program the user names, so that a simulated
// flow is matched as the daemon matches that program's flows: the identifier
// it would claim, the path of its executable, and the identity the daemon's
// own verification gives it (the ownership walk from "/" in this process's
// view of the files, and the package index for a system binary).
class ProgramLookup {
public:
    struct Places {
        // Where a bare name is looked for as an executable.
        std::vector<std::filesystem::path> searchPath;
        // The system-wide Flatpak installations, one folder per application ID.
        std::filesystem::path flatpakApps = "/var/lib/flatpak/app";
    };

    // The search path of $PATH and the system's Flatpak folder.
    static Places systemPlaces();

    explicit ProgramLookup(Places places = systemPlaces(),
                           std::shared_ptr<platform::PackageIndex> packages = sharedPackageIndex());

    // The source of a flow from the program `text` names, in this order:
    // - nothing typed: no program at all;
    // - an absolute path: that executable as the kernel reports it (links
    //   resolved), named by its file name, verified where it is;
    // - a name the daemon has seen: what its newest record of that program
    //   (in `newestFirst`) says it found;
    // - the ID of a system-wide Flatpak installation: that application;
    // - the name of an executable on the search path: that executable;
    // - any other name: a claim no known program backs, so not verified.
    FlowSource source(std::string_view text, const std::vector<ConnectionRecord>& newestFirst) const;

private:
    static std::shared_ptr<platform::PackageIndex> sharedPackageIndex();

    FlowSource executable(const std::string& path) const;
    CodeIdentity identityOf(const std::string& path) const;
    std::optional<FlowSource> flatpak(const std::string& id) const;
    std::optional<std::string> onSearchPath(const std::string& name) const;

    Places places_;
    std::shared_ptr<platform::PackageIndex> packages_;
};

}  // namespace corvane::app
