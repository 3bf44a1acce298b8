#pragma once

#include "platform/Bytes.hpp"

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace corvane::platform {

// What the owner lookup tells the provider about a process (its token and
// signing identifier), kept per pid, so that a program opening many sockets
// is read from /proc once rather than for each of them. An entry holds while
// the process's /proc directory is the same inode with the same owner (a new
// process gets a new inode, also under a reused pid; a change of its
// credentials changes the owner) and its executable is the same file (an
// execve replaces it). Safe to use from any thread.
class ProcessIdentityCache {
public:
    static constexpr std::size_t kLimit = 256;

    struct Identity {
        std::optional<Bytes> auditToken;  // none: the process is gone or unreadable
        std::string signingIdentifier;
    };

    Identity identityOf(int pid);

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

    std::mutex lock_;
    std::unordered_map<int, Entry> entries_;
};

}  // namespace corvane::platform
