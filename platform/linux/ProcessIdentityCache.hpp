#pragma once

#include "PackageIndex.hpp"
#include "RealExecutable.hpp"
#include "platform/Bytes.hpp"

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

namespace corvane::platform {

// What the owner lookup finds out about a process (its token and the file it
// really executes), kept per pid, so that a program opening many sockets is
// read from /proc once rather than for each of them, and so that the code-
// signing steps and the path lookup answer from it without touching the
// process's files again. An entry holds while the process's /proc directory
// is the same inode with the same owner (a new process gets a new inode, also
// under a reused pid; a change of its credentials changes the owner) and its
// executable is the same file (an execve replaces it). Safe to use from any
// thread; `identityOf` reads process-controlled files, the rest only memory.
class ProcessIdentityCache {
public:
    // The oldest entry goes beyond this many processes.
    static constexpr std::size_t kLimit = 1024;

    struct Identity {
        std::optional<Bytes> auditToken;  // none: the process is gone or unreadable
        RealExecutable executable;
    };

    explicit ProcessIdentityCache(std::shared_ptr<PackageIndex> packages = std::make_shared<PackageIndex>());

    // Looks the process up (or takes what is kept for it).
    Identity identityOf(int pid);

    // What was found for the process a token names, while it is kept and the
    // process has not changed since; nothing otherwise.
    std::optional<RealExecutable> recorded(std::span<const std::uint8_t, 32> token) const;
    // The path kept for the latest look-up of this pid.
    std::optional<std::string> pathOf(int pid) const;

private:
    struct Stamp {
        ino_t directory = 0;
        uid_t owner = 0;
        gid_t group = 0;
        std::uint32_t executable = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Entry {
        Stamp stamp;
        Identity identity;
    };

    static std::optional<Stamp> stampOf(int pid);
    void store(int pid, Entry entry);

    std::shared_ptr<PackageIndex> packages_;
    mutable std::mutex lock_;
    std::unordered_map<int, Entry> entries_;
    std::deque<int> order_;  // the pids of entries_, oldest first
};

}  // namespace corvane::platform
