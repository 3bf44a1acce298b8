#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace corvane::platform {

// Finds the processes that hold a socket, by its inode, from the descriptors
// listed under /proc/PID/fd. Every new flow asks once, so what one lookup
// costs must not grow with what other users hold:
// - a socket asked about before is looked for where it was found (one
//   readlink);
// - then the processes of the socket's user (its uid) that owned the last
//   sockets are looked at, next to the descriptor last found there first: a
//   program that opens one connection usually opens more, each at its lowest
//   free descriptor;
// - then the processes of that user alone are scanned, at most kScanBudget
//   descriptors, so one user's thousands of sockets slow only that user's
//   lookups;
// - only when that finds nothing, all processes, at most once per
//   kWideScanInterval for each user (a program that changed its uid after
//   making the socket).
// A socket is also held by the processes it was inherited by or from: the
// owner's parent and the children of its main thread are checked for it when
// they run another program (a socket made before a fork, used by one side
// after the other side executed something else), at most kRelativeLimit of
// them and kRelativeBudget descriptors each. Who a process's relatives are
// is kept (kCacheLimit processes) until it executes another program, which
// is what a program passing as another must do after its fork. So is the
// list of the sockets a relative held when it was last read: a socket the
// owner holds can be the relative's only by inheritance, so a list read after
// the owner started holds every socket the two can share (a socket passed
// over a Unix socket aside), and a relative need not be read again for each
// of the owner's new sockets. A list that names the socket is read again
// before it counts, since the relative may have closed it since. Other
// holders (a socket passed over a Unix socket to an unrelated process) are
// not looked for.
class SocketOwnerIndex {
public:
    static constexpr std::size_t kCacheLimit = 4096;
    static constexpr std::size_t kRecentOwners = 16;
    static constexpr std::size_t kUserLimit = 64;
    static constexpr std::size_t kScanBudget = 1 << 18;
    static constexpr std::size_t kRelativeBudget = 4096;
    static constexpr std::size_t kRelativeLimit = 64;
    static constexpr std::chrono::seconds kWideScanInterval{1};

    explicit SocketOwnerIndex(std::string procRoot = "/proc");

    // The processes holding the socket of `user`, the owner first (the most
    // recent owner that holds it, else the lowest pid); empty when no process
    // holds it (any more) or the search ended first.
    std::vector<int> holdersOf(std::uint64_t inode, std::uint32_t user);

    // Socket inode of a /proc/PID/fd link text ("socket:[123]").
    static std::optional<std::uint64_t> socketInode(std::string_view linkText);

private:
    struct Holder {
        int pid = 0;
        int fd = 0;
    };
    // A process as it is now: its /proc directory (a new process has a new
    // one) and its executable file (an execve changes it).
    struct ProcessKey {
        ino_t directory = 0;
        dev_t device = 0;
        ino_t executable = 0;
        bool operator==(const ProcessKey&) const = default;
    };
    struct Relatives {
        ProcessKey key;
        std::uint64_t startedAt = 0;  // clock ticks after boot
        std::vector<int> pids;
    };
    // The sockets a process held when its descriptors were read.
    struct Sockets {
        ProcessKey key;
        std::uint64_t readAt = 0;  // clock ticks after boot
        std::vector<std::uint64_t> inodes;  // sorted
    };
    enum class Scope { user, everyone };

    std::optional<Holder> cached(std::uint64_t inode);
    std::optional<Holder> amongRecentOwners(std::uint64_t inode, std::uint32_t user);
    bool stillHolds(const Holder& holder, std::uint64_t inode) const;
    std::optional<Holder> findIn(const Holder& recent, std::uint64_t inode, std::size_t budget) const;
    std::vector<Holder> scan(std::uint64_t inode, std::uint32_t user, Scope scope) const;
    bool mayScanWidely(std::uint32_t user);
    std::optional<ProcessKey> keyOf(int pid) const;
    Relatives relativesOf(int pid, const ProcessKey& key);
    bool relativeHolds(const Holder& relative, const ProcessKey& key, std::uint64_t ownerStartedAt,
                       std::uint64_t inode);
    Sockets socketsOf(int pid, const ProcessKey& key) const;
    void remember(std::uint64_t inode, std::uint32_t user, const Holder& holder);

    const std::string procRoot_;
    std::mutex lock_;
    std::unordered_map<std::uint64_t, Holder> cache_;
    std::unordered_map<std::uint32_t, std::deque<Holder>> recentOwners_;
    std::unordered_map<std::uint32_t, std::chrono::steady_clock::time_point> wideScans_;
    std::unordered_map<int, Relatives> relatives_;
    std::unordered_map<int, Sockets> sockets_;
};

}  // namespace corvane::platform
