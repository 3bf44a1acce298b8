#pragma once

#include <optional>
#include <span>
#include <sys/types.h>

namespace corvane::platform {

// The credentials of a control-socket peer, as the kernel reports them.
struct PeerCredentials {
    pid_t pid = 0;
    uid_t uid = 0;
    gid_t gid = 0;
};

// Whether a peer may control the daemon: root, or a member of the group
// "corvane" (its primary group or one of its supplementary groups). Without that
// group only root is allowed.
bool isPeerAllowed(const PeerCredentials& peer, std::span<const gid_t> supplementaryGroups,
                   std::optional<gid_t> corvaneGroup);

}  // namespace corvane::platform
