#include "platform/host/ControlPeerSlots.hpp"

namespace corvane::platform {

bool ControlPeerSlots::take(uid_t user) {
    std::lock_guard guard(lock_);
    if (total_ >= kTotal) return false;
    if (user != 0) {
        if (others_ >= kTotal - kReservedForRoot) return false;
        int& held = byUser_[user];
        if (held >= kPerUser) return false;
        ++held;
        ++others_;
    }
    ++total_;
    return true;
}

void ControlPeerSlots::release(uid_t user) {
    std::lock_guard guard(lock_);
    --total_;
    if (user == 0) return;
    --others_;
    if (--byUser_[user] == 0) byUser_.erase(user);
}

}  // namespace corvane::platform
