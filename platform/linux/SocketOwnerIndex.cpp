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

// How far from the descriptor last found in a process the next socket is looked for.
constexpr int kNearby = 16;

std::vector<int> numericEntries(DIR* directory) {
    std::vector<int> numbers;
    while (const dirent* item = ::readdir(directory)) {
        if (item->d_name[0] == '+') continue;
        if (const auto number = parseStandardInteger<int>(item->d_name); number && *number >= 0)
            numbers.push_back(*number);
    }
    return numbers;
}

std::vector<int> processIds(const std::string& procRoot) {
    DIR* directory = ::opendir(procRoot.c_str());
    if (!directory) return {};
    auto pids = numericEntries(directory);
    ::closedir(directory);
    std::erase(pids, 0);
    std::sort(pids.begin(), pids.end());
    return pids;
}

std::optional<std::uint64_t> inodeAt(int directory, const char* name) {
    std::array<char, 64> link{};
    const ssize_t length = ::readlinkat(directory, name, link.data(), link.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= link.size()) return std::nullopt;
    return SocketOwnerIndex::socketInode(std::string_view(link.data(), static_cast<std::size_t>(length)));
}

std::optional<std::uint64_t> inodeAt(int directory, int fd) { return inodeAt(directory, std::to_string(fd).c_str()); }

// A process takes the lowest free descriptor for a new socket: the one it just
// closed, or the next above its last.
std::vector<int> nearby(int fd) {
    std::vector<int> fds{fd};
    for (int step = 1; step <= kNearby; ++step) {
        fds.push_back(fd + step);
        if (fd >= step) fds.push_back(fd - step);
    }
    return fds;
}

std::string fdDirectory(const std::string& procRoot, int pid) {
    return procRoot + "/" + std::to_string(pid) + "/fd";
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

bool SocketOwnerIndex::stillHolds(const Holder& holder, std::uint64_t inode) const {
    const auto path = fdDirectory(procRoot_, holder.pid) + "/" + std::to_string(holder.fd);
    return inodeAt(AT_FDCWD, path.c_str()) == inode;
}

// Near the last socket found in the process first; then every descriptor,
// the highest first. Listing is what costs with thousands of descriptors.
std::optional<SocketOwnerIndex::Holder> SocketOwnerIndex::findIn(const Holder& recent, std::uint64_t inode) const {
    // A program that closes a socket and opens the next gets the same descriptor.
    if (stillHolds(recent, inode)) return recent;
    DIR* directory = ::opendir(fdDirectory(procRoot_, recent.pid).c_str());
    if (!directory) return std::nullopt;
    const auto holds = [&, base = ::dirfd(directory)](int fd) { return inodeAt(base, fd) == inode; };
    auto candidates = nearby(recent.fd);
    auto hit = std::find_if(candidates.begin(), candidates.end(), holds);
    if (hit == candidates.end()) {
        candidates = numericEntries(directory);
        std::sort(candidates.begin(), candidates.end(), std::greater<>());
        hit = std::find_if(candidates.begin(), candidates.end(), holds);
    }
    std::optional<Holder> found;
    if (hit != candidates.end()) found = Holder{recent.pid, *hit};
    ::closedir(directory);
    return found;
}

std::optional<SocketOwnerIndex::Holder> SocketOwnerIndex::scanAll(std::uint64_t inode) {
    cache_.clear();
    for (const int pid : processIds(procRoot_)) {
        DIR* directory = ::opendir(fdDirectory(procRoot_, pid).c_str());
        if (!directory) continue;
        for (const int fd : numericEntries(directory)) {
            if (cache_.size() >= kCacheLimit) break;
            if (const auto seen = inodeAt(::dirfd(directory), fd)) cache_.emplace(*seen, Holder{pid, fd});
        }
        ::closedir(directory);
    }
    const auto hit = cache_.find(inode);
    if (hit == cache_.end()) return std::nullopt;
    return hit->second;
}

void SocketOwnerIndex::remember(std::uint64_t inode, const Holder& holder) {
    if (cache_.size() < kCacheLimit) cache_.insert_or_assign(inode, holder);
    std::erase_if(recentOwners_, [&](const Holder& owner) { return owner.pid == holder.pid; });
    recentOwners_.push_front(holder);
    if (recentOwners_.size() > kRecentOwners) recentOwners_.pop_back();
}

std::optional<int> SocketOwnerIndex::ownerOf(std::uint64_t inode) {
    std::lock_guard guard(lock_);
    std::optional<Holder> holder;
    if (const auto hit = cache_.find(inode); hit != cache_.end()) {
        if (stillHolds(hit->second, inode)) holder = hit->second;
        else cache_.erase(hit);
    }
    for (auto owner = recentOwners_.begin(); !holder && owner != recentOwners_.end(); ++owner)
        holder = findIn(*owner, inode);
    if (!holder) holder = scanAll(inode);
    if (!holder) return std::nullopt;
    remember(inode, *holder);
    return holder->pid;
}

}  // namespace corvane::platform
