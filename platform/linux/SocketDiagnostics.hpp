#pragma once

#include "SocketAddress.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace corvane::platform {

// Questions to the kernel about its sockets over NETLINK_SOCK_DIAG, which
// needs no privilege.
class SocketDiagnostics {
public:
    struct Entry {
        SocketAddress local;
        std::uint32_t uid = 0;
        std::uint64_t inode = 0;
    };

    // The TCP socket whose local end is `local` and whose peer is `remote`.
    // A diverted connection keeps both of its ends (TPROXY rewrites nothing),
    // so (app address and port, original destination) names the app's socket
    // exactly.
    static std::optional<Entry> tcpSocket(const SocketAddress& local, const SocketAddress& remote);

    // The UDP socket an app sends from: bound to `source`'s port and to its
    // address or the unspecified one (IPv4 sources also match dual-stack
    // IPv6 sockets).
    static std::optional<Entry> udpSocket(const SocketAddress& source);

    // Every UDP socket of one family; nothing when the kernel cannot be asked.
    static std::optional<std::vector<Entry>> udpSockets(int family);

    // Whether `entries` hold a socket that `source` names with that inode.
    static bool holdsSocket(const std::vector<Entry>& entries, const SocketAddress& source, std::uint64_t inode);
    static const Entry* findSender(const std::vector<Entry>& entries, const SocketAddress& source);
};

}  // namespace corvane::platform
