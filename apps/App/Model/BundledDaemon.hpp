#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "Updates/BuildFile.hpp"

namespace corvane::app {

// The daemon that ships with the app, its build file and the root helper that
// installs it: in an installed tree <prefix>/libexec/corvane/ beside <prefix>/bin/
// (where the app is); in a build tree apps/Tunnel/ and apps/App/Service/ beside
// apps/App/.
struct BundledDaemon {
    static constexpr const char* kDaemonName = "corvane-tunnel";
    static constexpr const char* kBuildFileName = updates::BuildFile::kName;
    static constexpr const char* kHelperName = "corvane-service";

    std::filesystem::path daemon;
    std::filesystem::path buildFile;
    std::filesystem::path helper;

    // The installed tree when its daemon exists, else the build tree.
    static BundledDaemon locate(const std::filesystem::path& appDirectory);

    // The build number: the file's one line of printable text; none when the
    // file is missing, empty or holds anything else.
    std::optional<std::string> build() const;
};

}  // namespace corvane::app
