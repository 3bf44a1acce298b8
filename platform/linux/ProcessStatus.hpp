#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane::platform {

// The credentials and start time of one process, from /proc/PID/status,
// /proc/PID/stat and /proc/PID/loginuid.
struct ProcessStatus {
    std::uint32_t loginUid = 0xFFFFFFFF;  // unset
    std::uint32_t effectiveUid = 0;
    std::uint32_t effectiveGid = 0;
    std::uint32_t realUid = 0;
    std::uint32_t realGid = 0;
    std::uint64_t startTime = 0;          // clock ticks after boot (field 22 of stat)

    static std::optional<ProcessStatus> read(int pid);

    // Field 22 of a /proc/PID/stat line; the command name in parentheses may
    // hold spaces and parentheses itself, so fields are counted after the last ')'.
    static std::optional<std::uint64_t> startTimeFromStat(std::string_view statLine);

    // The real and effective ids of the "Uid:" or "Gid:" line of /proc/PID/status.
    struct IdPair {
        std::uint32_t real = 0;
        std::uint32_t effective = 0;
    };
    static std::optional<IdPair> idsFromStatus(std::string_view status, std::string_view key);
};

}  // namespace corvane::platform
