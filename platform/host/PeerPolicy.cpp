#include "platform/host/PeerPolicy.hpp"

#include <algorithm>

namespace corvane::platform {

bool isPeerAllowed(const PeerCredentials& peer, std::span<const gid_t> supplementaryGroups,
                   std::optional<gid_t> corvaneGroup) {
    if (peer.uid == 0) return true;
    if (!corvaneGroup) return false;
    return peer.gid == *corvaneGroup ||
           std::find(supplementaryGroups.begin(), supplementaryGroups.end(), *corvaneGroup) !=
               supplementaryGroups.end();
}

}  // namespace corvane::platform
