#include "SocketOwnerIndex.hpp"

#include "ProcessFiles.hpp"
#include "ProcessStatus.hpp"
#include "CorvaneCore/Support/StandardInteger.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <functional>

namespace corvane::platform {

namespace {

// How far from the descriptor last found in a process the next socket is looked for.
constexpr int kNearby = 16;

std::vector<int> numericEntries(DIR* directory, std::size_t limit = SIZE_MAX) {
    std::vector<int> numbers;
    while (const dirent* item = ::readdir(directory)) {
        if (numbers.size() >= limit) break;
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

std::string processDirectory(const std::string& procRoot, int pid) { return procRoot + "/" + std::to_string(pid); }

std::string fdDirectory(const std::string& procRoot, int pid) { return processDirectory(procRoot, pid) + "/fd"; }

// The numbers listed in a file such as /proc/PID/task/TID/children.
std::vector<int> numbersIn(std::string_view text) {
    std::vector<int> numbers;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto start = text.find_first_not_of(" \t\n", pos);
        if (start == std::string_view::npos) break;
        const auto end = std::min(text.find_first_of(" \t\n", start), text.size());
        if (const auto number = parseStandardInteger<int>(text.substr(start, end - start)); number && *number > 0)
            numbers.push_back(*number);
        pos = end;
    }
    return numbers;
}

// Now, in the clock ticks after boot that a process's start time counts.
std::uint64_t ticksSinceBoot() {
    static const auto ticksPerSecond = static_cast<std::uint64_t>(::sysconf(_SC_CLK_TCK));
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * ticksPerSecond +
           static_cast<std::uint64_t>(now.tv_nsec) * ticksPerSecond / 1000000000;
}

// When a process started; nothing when it is gone.
std::optional<std::uint64_t> startOf(const std::string& procRoot, int pid) {
    const auto stat = procfs::readSmallFile(processDirectory(procRoot, pid) + "/stat");
    return stat ? ProcessStatus::startTimeFromStat(*stat) : std::nullopt;
}

std::optional<int> parentOf(const std::string& procRoot, int pid) {
    const auto status = procfs::readSmallFile(processDirectory(procRoot, pid) + "/status");
    if (!status) return std::nullopt;
    const auto at = status->find("\nPPid:");
    if (at == std::string::npos) return std::nullopt;
    const auto end = std::min(status->find('\n', at + 1), status->size());
    const auto numbers = numbersIn(std::string_view(*status).substr(at + 6, end - at - 6));
    if (numbers.empty()) return std::nullopt;
    return numbers.front();
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

// Near the last socket found in the process first; then every descriptor
// (at most `budget`), the highest first. Listing is what costs with
// thousands of descriptors.
std::optional<SocketOwnerIndex::Holder> SocketOwnerIndex::findIn(const Holder& recent, std::uint64_t inode,
                                                                 std::size_t budget) const {
    // A program that closes a socket and opens the next gets the same descriptor.
    if (stillHolds(recent, inode)) return recent;
    DIR* directory = ::opendir(fdDirectory(procRoot_, recent.pid).c_str());
    if (!directory) return std::nullopt;
    const auto holds = [&, base = ::dirfd(directory)](int fd) { return inodeAt(base, fd) == inode; };
    auto candidates = nearby(recent.fd);
    auto hit = std::find_if(candidates.begin(), candidates.end(), holds);
    if (hit == candidates.end()) {
        candidates = numericEntries(directory, budget);
        std::sort(candidates.begin(), candidates.end(), std::greater<>());
        hit = std::find_if(candidates.begin(), candidates.end(), holds);
    }
    std::optional<Holder> found;
    if (hit != candidates.end()) found = Holder{recent.pid, *hit};
    ::closedir(directory);
    return found;
}

// Every holder among the user's processes (or everyone's), lowest pid first,
// within kScanBudget descriptors.
std::vector<SocketOwnerIndex::Holder> SocketOwnerIndex::scan(std::uint64_t inode, std::uint32_t user,
                                                             Scope scope) const {
    std::vector<Holder> holders;
    std::size_t budget = kScanBudget;
    for (const int pid : processIds(procRoot_)) {
        struct stat owner {};
        if (scope == Scope::user &&
            (::stat(processDirectory(procRoot_, pid).c_str(), &owner) != 0 || owner.st_uid != user))
            continue;
        DIR* directory = ::opendir(fdDirectory(procRoot_, pid).c_str());
        if (!directory) continue;
        const auto fds = numericEntries(directory, budget);
        budget -= fds.size();
        for (const int fd : fds) {
            if (inodeAt(::dirfd(directory), fd) == inode) holders.push_back({pid, fd});
        }
        ::closedir(directory);
        if (budget == 0) break;
    }
    return holders;
}

bool SocketOwnerIndex::mayScanWidely(std::uint32_t user) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard guard(lock_);
    if (wideScans_.size() >= kUserLimit) wideScans_.clear();
    auto [last, first] = wideScans_.try_emplace(user, now);
    if (first) return true;
    if (now - last->second < kWideScanInterval) return false;
    last->second = now;
    return true;
}

std::optional<SocketOwnerIndex::ProcessKey> SocketOwnerIndex::keyOf(int pid) const {
    struct stat directory {}, executable {};
    const auto path = processDirectory(procRoot_, pid);
    if (::stat(path.c_str(), &directory) != 0 || ::stat((path + "/exe").c_str(), &executable) != 0) return std::nullopt;
    return ProcessKey{directory.st_ino, executable.st_dev, executable.st_ino};
}

// The parent and the children of a process. Children are read from its main
// thread only: an execve leaves that thread alone, and the children of the
// threads it ended become its own, so a program executed after a fork sees
// every child that can share its sockets.
SocketOwnerIndex::Relatives SocketOwnerIndex::relativesOf(int pid, const ProcessKey& key) {
    {
        std::lock_guard guard(lock_);
        if (const auto kept = relatives_.find(pid); kept != relatives_.end() && kept->second.key == key)
            return kept->second;
    }
    // Unknown, the start is taken as now: no list read before counts.
    Relatives relatives{key, startOf(procRoot_, pid).value_or(ticksSinceBoot()), {}};
    if (const auto parent = parentOf(procRoot_, pid); parent && *parent > 1) relatives.pids.push_back(*parent);
    const auto directory = processDirectory(procRoot_, pid);
    if (const auto children = procfs::readSmallFile(directory + "/task/" + std::to_string(pid) + "/children")) {
        for (const int child : numbersIn(*children)) {
            if (relatives.pids.size() >= kRelativeLimit) break;
            relatives.pids.push_back(child);
        }
    }
    std::lock_guard guard(lock_);
    if (relatives_.size() >= kCacheLimit) relatives_.clear();
    relatives_.insert_or_assign(pid, relatives);
    return relatives;
}

// The sockets among a process's descriptors, at most kRelativeBudget of them read.
SocketOwnerIndex::Sockets SocketOwnerIndex::socketsOf(int pid, const ProcessKey& key) const {
    Sockets sockets{key, ticksSinceBoot(), {}};
    DIR* directory = ::opendir(fdDirectory(procRoot_, pid).c_str());
    if (!directory) return sockets;
    for (const int fd : numericEntries(directory, kRelativeBudget)) {
        if (const auto inode = inodeAt(::dirfd(directory), fd)) sockets.inodes.push_back(*inode);
    }
    ::closedir(directory);
    std::sort(sockets.inodes.begin(), sockets.inodes.end());
    return sockets;
}

// Whether a relative of the owner holds the socket too, looked for first at
// the owner's descriptor number, which an inherited socket usually keeps. A
// list read more than a tick after the owner started answers "no" for good; a
// "yes" is read again.
bool SocketOwnerIndex::relativeHolds(const Holder& relative, const ProcessKey& key, std::uint64_t ownerStartedAt,
                                     std::uint64_t inode) {
    if (stillHolds(relative, inode)) return true;
    {
        std::lock_guard guard(lock_);
        const auto kept = sockets_.find(relative.pid);
        if (kept != sockets_.end() && kept->second.key == key && kept->second.readAt > ownerStartedAt + 1 &&
            !std::binary_search(kept->second.inodes.begin(), kept->second.inodes.end(), inode))
            return false;
    }
    Sockets sockets = socketsOf(relative.pid, key);
    const bool holds = std::binary_search(sockets.inodes.begin(), sockets.inodes.end(), inode);
    std::lock_guard guard(lock_);
    if (sockets_.size() >= kCacheLimit) sockets_.clear();
    sockets_.insert_or_assign(relative.pid, std::move(sockets));
    return holds;
}

std::optional<SocketOwnerIndex::Holder> SocketOwnerIndex::cached(std::uint64_t inode) {
    std::optional<Holder> holder;
    {
        std::lock_guard guard(lock_);
        if (const auto hit = cache_.find(inode); hit != cache_.end()) holder = hit->second;
    }
    if (holder && !stillHolds(*holder, inode)) {
        std::lock_guard guard(lock_);
        cache_.erase(inode);
        holder.reset();
    }
    return holder;
}

std::optional<SocketOwnerIndex::Holder> SocketOwnerIndex::amongRecentOwners(std::uint64_t inode, std::uint32_t user) {
    std::deque<Holder> recent;
    {
        std::lock_guard guard(lock_);
        if (const auto found = recentOwners_.find(user); found != recentOwners_.end()) recent = found->second;
    }
    for (const Holder& owner : recent) {
        if (auto holder = findIn(owner, inode, kRelativeBudget)) return holder;
    }
    return std::nullopt;
}

void SocketOwnerIndex::remember(std::uint64_t inode, std::uint32_t user, const Holder& holder) {
    std::lock_guard guard(lock_);
    if (cache_.size() >= kCacheLimit) cache_.clear();
    cache_.insert_or_assign(inode, holder);
    if (recentOwners_.size() >= kUserLimit && !recentOwners_.contains(user)) recentOwners_.clear();
    auto& owners = recentOwners_[user];
    std::erase_if(owners, [&](const Holder& owner) { return owner.pid == holder.pid; });
    owners.push_front(holder);
    if (owners.size() > kRecentOwners) owners.pop_back();
}

std::vector<int> SocketOwnerIndex::holdersOf(std::uint64_t inode, std::uint32_t user) {
    std::vector<Holder> holders;
    auto owner = cached(inode);
    if (!owner) owner = amongRecentOwners(inode, user);
    if (owner) holders.push_back(*owner);
    else holders = scan(inode, user, Scope::user);
    if (holders.empty() && mayScanWidely(user)) holders = scan(inode, user, Scope::everyone);
    if (holders.empty()) return {};
    std::vector<int> pids;
    for (const Holder& holder : holders) pids.push_back(holder.pid);
    const Holder first = holders.front();
    if (const auto key = keyOf(first.pid)) {
        const Relatives relatives = relativesOf(first.pid, *key);
        for (const int relative : relatives.pids) {
            if (std::find(pids.begin(), pids.end(), relative) != pids.end()) continue;
            const auto other = keyOf(relative);
            const bool sameProgram = other && other->device == key->device && other->executable == key->executable;
            if (other && !sameProgram && relativeHolds({relative, first.fd}, *other, relatives.startedAt, inode))
                pids.push_back(relative);
        }
    }
    remember(inode, user, first);
    return pids;
}

}  // namespace corvane::platform
