#pragma once

#include "ProcessIdentityCache.hpp"
#include "SocketAddress.hpp"
#include "SocketOwnerIndex.hpp"
#include "platform/FlowMetaData.hpp"
#include "platform/Logger.hpp"

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane::platform {

// Who sent a diverted flow: the socket (sock_diag), the process holding it
// (/proc lookup) and what the provider is told about it (token, identifier).
class FlowOwnerLookup {
public:
    // On Linux every program resolves names itself, so each UDP flow whose
    // first datagram goes to port 53 is reported as the system resolver's.
    static constexpr std::string_view kSystemResolverIdentifier = "systemd-resolved";
    static constexpr std::uint16_t kDNSPort = 53;

    struct Owner {
        bool isDaemon = false;               // the daemon's own socket: pass it through
        std::optional<int> pid;              // none: a process that is already gone
        std::uint64_t socketInode = 0;       // 0: the socket was not found
        std::uint64_t socketCookie = 0;      // the kernel's number for the socket (UDP), 0 when not found
        FlowMetaData metaData;
    };

    Owner tcpOwner(const SocketAddress& appEnd, const SocketAddress& originalDestination);
    // The owner of the socket that sent the first datagram of a flow.
    Owner udpOwner(const SocketAddress& source, const SocketAddress& firstDestination);

private:
    Owner ownerOfSocket(std::uint64_t inode);
    void reportIfUnowned(const Owner& owner, std::string_view protocol, const SocketAddress& source) const;

    SocketOwnerIndex index_;
    ProcessIdentityCache identities_;
    Logger log_{"corvane-tunnel", "diversion"};
};

}  // namespace corvane::platform
