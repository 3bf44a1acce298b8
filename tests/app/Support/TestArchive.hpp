#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace corvane::app::testing {

// One entry of a tar archive made by hand, so a test can write what no tree
// on disk could give it: device nodes, setuid bits, names that leave the
// folder, links that lead out, names that come twice.
struct TarEntry {
    std::string name;
    char type = '0';  // '0' file, '5' folder, '2' link, '1' hard link, '3' character device, ...
    std::string content;
    unsigned mode = 0644;
    std::string link;
};

// Writes the entries as a gzip-compressed tar archive (ustar headers).
void writeArchive(const std::filesystem::path& archive, const std::vector<TarEntry>& entries);

// A release's files (relative path and content): files under bin/ are
// executable, everything else 0644.
using ReleaseFiles = std::vector<std::pair<std::string, std::string>>;
void makeArchive(const std::filesystem::path& archive, const ReleaseFiles& files);

// The files of a release of build `build`: marker, app and build file.
ReleaseFiles releaseFiles(const std::string& app, const std::string& build);

}  // namespace corvane::app::testing
