#pragma once

#include "SocketAddress.hpp"

#include <cstdint>
#include <optional>
#include <vector>

struct inet_diag_msg;

namespace corvane::platform {

// Questions to the kernel about its sockets over NETLINK_SOCK_DIAG, which
// needs no privilege.
class SocketDiagnostics {
public:
    struct Entry {
        SocketAddress local;
        std::uint32_t uid = 0;
        std::uint64_t inode = 0;
        std::uint64_t cookie = 0;  // the kernel's number for the socket, never reused while it runs
    };

    // The TCP socket whose local end is `local` and whose peer is `remote`.
    // A diverted connection keeps both of its ends (TPROXY rewrites nothing),
    // so (app address and port, original destination) names the app's socket
    // exactly.
    static std::optional<Entry> tcpSocket(const SocketAddress& local, const SocketAddress& remote);

    // The UDP socket that sent a datagram from `source` to `destination`: the
    // socket the kernel would hand an answer to (one look-up in its table),
    // else the one `udpSocket` finds.
    static std::optional<Entry> udpSender(const SocketAddress& source, const SocketAddress& destination);

    // The UDP socket an app sends from: bound to `source`'s port and to its
    // address or the unspecified one (IPv4 sources also match dual-stack
    // IPv6 sockets). The kernel lists only the sockets on that port.
    static std::optional<Entry> udpSocket(const SocketAddress& source);

    // Every UDP socket of one family; nothing when the kernel cannot be asked.
    static std::optional<std::vector<Entry>> udpSockets(int family);

    // Whether `entries` hold a socket that `source` names with that inode.
    // The cookie of the socket a sock_diag message describes.
    static std::uint64_t cookieOf(const inet_diag_msg& message);

    static bool holdsSocket(const std::vector<Entry>& entries, const SocketAddress& source, std::uint64_t inode);
    static const Entry* findSender(const std::vector<Entry>& entries, const SocketAddress& source);
};

}  // namespace corvane::platform
