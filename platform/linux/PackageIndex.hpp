#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::platform {

// The files of the installed distribution packages, from the dpkg database
// (/var/lib/dpkg/info/*.list), kept as sorted 64-bit hashes of their paths
// and rebuilt when that folder changes.
class PackageIndex {
public:
    explicit PackageIndex(std::string infoDirectory = "/var/lib/dpkg/info");

    // Whether a package lists `path`, or its alias without "/usr" (merged
    // /usr: the package lists /bin/ls, the kernel reports /usr/bin/ls).
    bool containsFile(std::string_view path);

    // The path a package may list in place of `path` under a merged /usr;
    // "" when there is none.
    static std::string mergedUsrAlias(std::string_view path);

private:
    void refreshIfChanged();
    bool containsHash(std::uint64_t hash) const;

    const std::string infoDirectory_;
    std::mutex lock_;
    bool loaded_ = false;
    timespec loadedModification_{};
    std::vector<std::uint64_t> hashes_;
};

}  // namespace corvane::platform
