#include "SocketOwnerIndex.hpp"

#include "CorvaneCore/Support/StandardInteger.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <functional>
#include <vector>

namespace corvane::platform {

namespace {

// Calls `each` with the socket inode of every descriptor of the process;
// `each` returns false to stop.
void forEachSocket(const std::string& fdDirectory, const std::function<bool(std::uint64_t)>& each) {
    DIR* directory = ::opendir(fdDirectory.c_str());
    if (!directory) return;
    const int base = ::dirfd(directory);
    std::array<char, 64> link{};
    while (const dirent* item = ::readdir(directory)) {
        if (item->d_name[0] == '.') continue;
        const ssize_t length = ::readlinkat(base, item->d_name, link.data(), link.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= link.size()) continue;
        const auto inode = SocketOwnerIndex::socketInode(std::string_view(link.data(), static_cast<std::size_t>(length)));
        if (inode && !each(*inode)) break;
    }
    ::closedir(directory);
}

std::vector<int> processIds(const std::string& procRoot) {
    std::vector<int> pids;
    DIR* directory = ::opendir(procRoot.c_str());
    if (!directory) return pids;
    while (const dirent* item = ::readdir(directory)) {
        if (const auto pid = parseStandardInteger<int>(item->d_name); pid && *pid > 0 && item->d_name[0] != '+')
            pids.push_back(*pid);
    }
    ::closedir(directory);
    std::sort(pids.begin(), pids.end());
    return pids;
}

}  // namespace

SocketOwnerIndex::SocketOwnerIndex(std::string procRoot) : procRoot_(std::move(procRoot)) {}

std::optional<std::uint64_t> SocketOwnerIndex::socketInode(std::string_view linkText) {
    constexpr std::string_view prefix = "socket:[";
    if (!linkText.starts_with(prefix) || !linkText.ends_with(']')) return std::nullopt;
    const auto digits = linkText.substr(prefix.size(), linkText.size() - prefix.size() - 1);
    if (digits.empty() || digits.front() == '+' || digits.front() == '-') return std::nullopt;
    return parseStandardInteger<std::uint64_t>(digits);
}

bool SocketOwnerIndex::processHolds(int pid, std::uint64_t inode) const {
    bool found = false;
    forEachSocket(procRoot_ + "/" + std::to_string(pid) + "/fd", [&](std::uint64_t candidate) {
        found = candidate == inode;
        return !found;
    });
    return found;
}

bool SocketOwnerIndex::isOwn(std::uint64_t inode) const {
    bool found = false;
    forEachSocket(procRoot_ + "/self/fd", [&](std::uint64_t candidate) {
        found = candidate == inode;
        return !found;
    });
    return found;
}

void SocketOwnerIndex::rememberOwner(int pid) {
    std::erase(recentOwners_, pid);
    recentOwners_.push_front(pid);
    if (recentOwners_.size() > kRecentOwners) recentOwners_.pop_back();
}

std::optional<int> SocketOwnerIndex::scanAll(std::uint64_t inode) {
    cache_.clear();
    for (const int pid : processIds(procRoot_)) {
        forEachSocket(procRoot_ + "/" + std::to_string(pid) + "/fd", [&](std::uint64_t candidate) {
            if (cache_.size() < kCacheLimit) cache_.emplace(candidate, pid);
            return true;
        });
    }
    const auto hit = cache_.find(inode);
    if (hit == cache_.end()) return std::nullopt;
    return hit->second;
}

std::optional<int> SocketOwnerIndex::ownerOf(std::uint64_t inode) {
    std::lock_guard guard(lock_);
    if (const auto hit = cache_.find(inode); hit != cache_.end()) {
        if (processHolds(hit->second, inode)) return hit->second;
        cache_.erase(hit);
    }
    std::vector<int> recent(recentOwners_.begin(), recentOwners_.end());
    std::sort(recent.begin(), recent.end());
    for (const int pid : recent) {
        if (processHolds(pid, inode)) {
            cache_.emplace(inode, pid);
            rememberOwner(pid);
            return pid;
        }
    }
    const auto owner = scanAll(inode);
    if (owner) rememberOwner(*owner);
    return owner;
}

}  // namespace corvane::platform
