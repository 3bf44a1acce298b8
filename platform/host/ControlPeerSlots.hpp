#pragma once

#include <map>
#include <mutex>
#include <sys/types.h>

namespace corvane::platform {

// The control socket's connection slots. Each user other than root holds at most
// kPerUser, and those users together at most kTotal - kReservedForRoot, so that
// idle connections of others never lock root out; root may use any free slot.
// Safe to use from any thread.
class ControlPeerSlots {
public:
    static constexpr int kTotal = 32;
    static constexpr int kPerUser = 8;
    static constexpr int kReservedForRoot = 8;

    // Takes a slot for a connection of the user; false when none is free for it.
    bool take(uid_t user);
    // Gives back a slot the user took.
    void release(uid_t user);

private:
    std::mutex lock_;
    int total_ = 0;
    int others_ = 0;
    std::map<uid_t, int> byUser_;
};

}  // namespace corvane::platform
