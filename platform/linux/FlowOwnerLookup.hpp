#pragma once

#include "OwnerLookupPool.hpp"
#include "ProcessIdentityCache.hpp"
#include "SocketAddress.hpp"
#include "SocketDiagnostics.hpp"
#include "SocketOwnerIndex.hpp"
#include "platform/FlowMetaData.hpp"
#include "platform/Logger.hpp"

#include <asio/any_io_executor.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace corvane::platform {

// Who sent a diverted flow: the socket (sock_diag, asked at once), the
// processes holding it and what the provider is told about them (token,
// identifier). Everything after sock_diag reads /proc and files processes
// control, so it runs on the lookup pool and the answer comes back on the
// caller's event loop; a lookup past its deadline answers with no owner.
class FlowOwnerLookup : public std::enable_shared_from_this<FlowOwnerLookup> {
public:
    struct Timing {
        std::chrono::milliseconds deadline{2000};
        // A socket in flight between processes (passed over a Unix socket) is
        // held by none for a moment: it is looked for again after these waits.
        std::vector<std::chrono::milliseconds> retries{std::chrono::milliseconds(5), std::chrono::milliseconds(20),
                                                       std::chrono::milliseconds(50)};
    };

    struct Owner {
        bool isDaemon = false;               // the daemon's own socket: pass it through
        std::optional<int> pid;              // none: no process holds the socket (or not found in time)
        std::uint64_t socketInode = 0;       // 0: the socket was not found
        std::uint64_t socketCookie = 0;      // the kernel's number for the socket (UDP), 0 when not found
        FlowMetaData metaData;
    };
    using Handler = std::function<void(Owner)>;

    explicit FlowOwnerLookup(std::shared_ptr<ProcessIdentityCache> identities = std::make_shared<ProcessIdentityCache>());
    FlowOwnerLookup(std::shared_ptr<ProcessIdentityCache> identities, Timing timing, OwnerLookupPool::Limits limits);

    // The owner of a diverted connection, handed to `done` on `loop`.
    void tcpOwner(const SocketAddress& appEnd, const SocketAddress& originalDestination, asio::any_io_executor loop,
                  Handler done);
    // The owner of the UDP socket that sent a flow's first datagram from
    // `source`; the caller has asked sock_diag for it (`socket`).
    void udpOwner(const SocketAddress& source, const std::optional<SocketDiagnostics::Entry>& socket,
                  asio::any_io_executor loop, Handler done);

private:
    struct Pending;

    void lookUp(const std::optional<SocketDiagnostics::Entry>& socket, std::string_view protocol,
                const SocketAddress& source, asio::any_io_executor loop, Handler done);
    void settle(Pending& pending, Owner owner, bool late);
    // `given`: the flow has had its answer (the deadline passed), so the search may stop.
    Owner ownerOf(const SocketDiagnostics::Entry& socket, const std::atomic<bool>& given);
    std::vector<int> holdersOf(const SocketDiagnostics::Entry& socket, const std::atomic<bool>& given);
    void report(const Owner& owner, bool late, std::string_view protocol, const SocketAddress& source) const;

    std::shared_ptr<ProcessIdentityCache> identities_;
    const Timing timing_;
    SocketOwnerIndex index_;
    OwnerLookupPool pool_;
    Logger log_{"corvane-tunnel", "diversion"};
};

}  // namespace corvane::platform
