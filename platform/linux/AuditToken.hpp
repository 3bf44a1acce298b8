#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <sys/types.h>

namespace corvane::platform {

// The Linux analog of an audit token: 32 bytes, eight host-order words.
//   0 login uid, 1 effective uid, 2 effective gid, 3 real uid, 4 real gid,
//   5 pid, 6 executable identity (hash of the exe's device and inode),
//   7 process start time (low 32 bits)
// The last two make a reused pid or an execve produce a different token, so a
// cached identity is never inherited by another program.
class AuditToken {
public:
    static constexpr std::size_t kSize = 32;
    using Bytes = std::array<std::uint8_t, kSize>;

    enum class Word : std::size_t {
        loginUid = 0,
        effectiveUid = 1,
        effectiveGid = 2,
        realUid = 3,
        realGid = 4,
        pid = 5,
        executableIdentity = 6,
        startTime = 7,
    };

    // The token of a running process; nothing when it is gone or unreadable.
    static std::optional<Bytes> forProcess(int pid);

    static std::uint32_t word(std::span<const std::uint8_t, kSize> token, Word which);
    static void setWord(Bytes& token, Word which, std::uint32_t value);

    // Low 32 bits of a mix of the executable file's device and inode.
    static std::uint32_t executableIdentity(dev_t device, ino_t inode);
    // The executable identity of /proc/PID/exe now; nothing when unreadable.
    static std::optional<std::uint32_t> currentExecutableIdentity(int pid);
};

}  // namespace corvane::platform
