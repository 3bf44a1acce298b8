#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace corvane::platform {

// Finds the process that holds a socket, by its inode, from the descriptors
// listed under /proc/*/fd. A full scan fills a cache of every socket it saw;
// before one, the processes that owned the last sockets are looked at, since
// a program that opens one connection usually opens more.
class SocketOwnerIndex {
public:
    static constexpr std::size_t kCacheLimit = 262144;
    static constexpr std::size_t kRecentOwners = 16;

    explicit SocketOwnerIndex(std::string procRoot = "/proc");

    // The lowest pid among the processes holding the socket; nothing when no
    // process holds it (any more).
    std::optional<int> ownerOf(std::uint64_t inode);

    // Whether this process holds the socket (checked before any scan).
    bool isOwn(std::uint64_t inode) const;

    // Socket inode of a /proc/PID/fd link text ("socket:[123]").
    static std::optional<std::uint64_t> socketInode(std::string_view linkText);

private:
    bool processHolds(int pid, std::uint64_t inode) const;
    std::optional<int> scanAll(std::uint64_t inode);
    void rememberOwner(int pid);

    const std::string procRoot_;
    std::mutex lock_;
    std::unordered_map<std::uint64_t, int> cache_;
    std::deque<int> recentOwners_;
};

}  // namespace corvane::platform
