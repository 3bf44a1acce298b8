#include "PackageIndex.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <fstream>

namespace corvane::platform {

namespace {

std::uint64_t pathHash(std::string_view path) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const unsigned char c : path) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

void addListFile(const std::string& file, std::vector<std::uint64_t>& hashes) {
    std::ifstream input(file);
    std::string line;
    while (std::getline(input, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with('/')) hashes.push_back(pathHash(line));
    }
}

}  // namespace

PackageIndex::PackageIndex(std::string infoDirectory) : infoDirectory_(std::move(infoDirectory)) {}

std::string PackageIndex::mergedUsrAlias(std::string_view path) {
    constexpr std::array<std::string_view, 3> merged = {"/usr/bin/", "/usr/sbin/", "/usr/lib"};
    for (const auto prefix : merged) {
        if (path.starts_with(prefix) && path.size() > prefix.size()) return std::string(path.substr(4));
    }
    return "";
}

void PackageIndex::refreshIfChanged() {
    struct stat info {};
    if (::stat(infoDirectory_.c_str(), &info) != 0) {
        hashes_.clear();
        loaded_ = false;
        return;
    }
    if (loaded_ && info.st_mtim.tv_sec == loadedModification_.tv_sec &&
        info.st_mtim.tv_nsec == loadedModification_.tv_nsec)
        return;
    std::vector<std::uint64_t> hashes;
    if (DIR* directory = ::opendir(infoDirectory_.c_str())) {
        while (const dirent* item = ::readdir(directory)) {
            const std::string_view name = item->d_name;
            if (name.size() > 5 && name.ends_with(".list")) addListFile(infoDirectory_ + "/" + item->d_name, hashes);
        }
        ::closedir(directory);
    }
    std::sort(hashes.begin(), hashes.end());
    hashes.erase(std::unique(hashes.begin(), hashes.end()), hashes.end());
    hashes_ = std::move(hashes);
    loaded_ = true;
    loadedModification_ = info.st_mtim;
}

bool PackageIndex::containsHash(std::uint64_t hash) const {
    return std::binary_search(hashes_.begin(), hashes_.end(), hash);
}

bool PackageIndex::containsFile(std::string_view path) {
    std::lock_guard guard(lock_);
    refreshIfChanged();
    if (containsHash(pathHash(path))) return true;
    const auto alias = mergedUsrAlias(path);
    return !alias.empty() && containsHash(pathHash(alias));
}

}  // namespace corvane::platform
