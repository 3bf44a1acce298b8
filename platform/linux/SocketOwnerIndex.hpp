#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace corvane::platform {

// Finds the process that holds a socket, by its inode, from the descriptors
// listed under /proc/PID/fd. The cost of one lookup must not grow with the
// number of connections already open, since every new flow asks once:
// - a full scan remembers where it saw every socket (pid and descriptor), so a
//   later question about one of them costs one readlink;
// - before a full scan, the processes that owned the last sockets are looked
//   at, next to the descriptor last found there first: a program that opens
//   one connection usually opens more, each at its lowest free descriptor.
class SocketOwnerIndex {
public:
    static constexpr std::size_t kCacheLimit = 262144;
    static constexpr std::size_t kRecentOwners = 16;

    explicit SocketOwnerIndex(std::string procRoot = "/proc");

    // A process holding the socket: the most recent owner that holds it, else
    // the lowest pid among the holders; nothing when no process holds it (any
    // more).
    std::optional<int> ownerOf(std::uint64_t inode);

    // Socket inode of a /proc/PID/fd link text ("socket:[123]").
    static std::optional<std::uint64_t> socketInode(std::string_view linkText);

private:
    struct Holder {
        int pid = 0;
        int fd = 0;
    };

    bool stillHolds(const Holder& holder, std::uint64_t inode) const;
    std::optional<Holder> findIn(const Holder& recent, std::uint64_t inode) const;
    std::optional<Holder> scanAll(std::uint64_t inode);
    void remember(std::uint64_t inode, const Holder& holder);

    const std::string procRoot_;
    std::mutex lock_;
    std::unordered_map<std::uint64_t, Holder> cache_;
    std::deque<Holder> recentOwners_;
};

}  // namespace corvane::platform
