#include "FlowOwnerLookup.hpp"

#include "AuditToken.hpp"

#include <asio/execution/outstanding_work.hpp>
#include <asio/post.hpp>
#include <asio/prefer.hpp>
#include <asio/steady_timer.hpp>

#include <unistd.h>

#include <atomic>
#include <thread>

namespace corvane::platform {

namespace {

// Asked once: every flow is compared with it.
const pid_t daemonPid = ::getpid();

std::uint32_t executableOf(const Bytes& token) {
    return AuditToken::word(std::span<const std::uint8_t, AuditToken::kSize>(token.data(), AuditToken::kSize),
                            AuditToken::Word::executableIdentity);
}

}  // namespace

// One lookup's state on the loop that waits for it. Only the loop holds it
// (the deadline's handler, the answer posted there), so it and the flow its
// handler holds end on the loop; the pool's thread sees only `given`.
struct FlowOwnerLookup::Pending {
    Pending(asio::any_io_executor loop, Handler handler, std::string_view protocol, const SocketAddress& source)
        : deadline(loop), done(std::move(handler)), protocol(protocol), source(source) {}
    asio::steady_timer deadline;
    Handler done;
    const std::string protocol;
    const SocketAddress source;
    std::shared_ptr<std::atomic<bool>> given = std::make_shared<std::atomic<bool>>(false);
};

FlowOwnerLookup::FlowOwnerLookup(std::shared_ptr<ProcessIdentityCache> identities)
    : FlowOwnerLookup(std::move(identities), Timing{}, OwnerLookupPool::Limits{}) {}

FlowOwnerLookup::FlowOwnerLookup(std::shared_ptr<ProcessIdentityCache> identities, Timing timing,
                                 OwnerLookupPool::Limits limits)
    : identities_(std::move(identities)), timing_(std::move(timing)), pool_(limits) {}

void FlowOwnerLookup::tcpOwner(const SocketAddress& appEnd, const SocketAddress& originalDestination,
                               asio::any_io_executor loop, Handler done) {
    lookUp(SocketDiagnostics::tcpSocket(appEnd, originalDestination), "TCP", appEnd, std::move(loop), std::move(done));
}

void FlowOwnerLookup::udpOwner(const SocketAddress& source, const std::optional<SocketDiagnostics::Entry>& socket,
                               asio::any_io_executor loop, Handler done) {
    lookUp(socket, "UDP", source, std::move(loop), std::move(done));
}

void FlowOwnerLookup::lookUp(const std::optional<SocketDiagnostics::Entry>& socket, std::string_view protocol,
                             const SocketAddress& source, asio::any_io_executor loop, Handler done) {
    Owner unowned;
    unowned.socketInode = socket ? socket->inode : 0;
    unowned.socketCookie = socket ? socket->cookie : 0;
    auto pending = std::make_shared<Pending>(loop, std::move(done), protocol, source);
    auto self = shared_from_this();
    if (!socket || socket->inode == 0)
        return asio::post(loop, [self, pending, unowned] { self->settle(*pending, unowned, false); });
    pending->deadline.expires_after(timing_.deadline);
    pending->deadline.async_wait([self, pending, unowned](asio::error_code error) {
        if (!error) self->settle(*pending, unowned, true);
    });
    // The lookup is work of the loop until its answer is posted there.
    auto tracked = asio::prefer(loop, asio::execution::outstanding_work.tracked);
    const bool queued = pool_.submit(socket->uid, [self, waiting = std::weak_ptr<Pending>(pending),
                                                   given = pending->given, tracked, entry = *socket] {
        if (*given) return;
        auto owner = self->ownerOf(entry, *given);
        asio::post(tracked, [self, waiting, owner = std::move(owner)]() mutable {
            if (const auto pending = waiting.lock()) self->settle(*pending, std::move(owner), false);
        });
    });
    // The user has as many lookups waiting as allowed: this flow gets no owner.
    if (!queued) asio::post(loop, [self, pending, unowned] { self->settle(*pending, unowned, true); });
}

// On the loop: the first answer (the owner, or none at the deadline) is the one.
void FlowOwnerLookup::settle(Pending& pending, Owner owner, bool late) {
    if (pending.given->exchange(true)) return;
    pending.deadline.cancel();
    report(owner, late, pending.protocol, pending.source);
    pending.done(std::move(owner));
}

std::vector<int> FlowOwnerLookup::holdersOf(const SocketDiagnostics::Entry& socket, const std::atomic<bool>& given) {
    auto holders = index_.holdersOf(socket.inode, socket.uid);
    for (const auto wait : timing_.retries) {
        if (!holders.empty() || given) break;
        std::this_thread::sleep_for(wait);
        holders = index_.holdersOf(socket.inode, socket.uid);
    }
    return holders;
}

// A socket held by processes running different programs is no one program's:
// its token names no process (pid 0), so it is verified for none of them and
// has no path, and it carries no identifier.
FlowOwnerLookup::Owner FlowOwnerLookup::ownerOf(const SocketDiagnostics::Entry& socket, const std::atomic<bool>& given) {
    Owner owner;
    owner.socketInode = socket.inode;
    owner.socketCookie = socket.cookie;
    const auto holders = holdersOf(socket, given);
    if (holders.empty()) return owner;
    owner.pid = holders.front();
    owner.isDaemon = *owner.pid == daemonPid;
    if (owner.isDaemon) return owner;
    auto identity = identities_->identityOf(*owner.pid);
    if (!identity.auditToken) return owner;
    bool shared = false;
    for (std::size_t i = 1; i < holders.size() && !shared; ++i) {
        const auto other = identities_->identityOf(holders[i]);
        shared = other.auditToken && executableOf(*other.auditToken) != executableOf(*identity.auditToken);
    }
    owner.metaData.sourceAppAuditToken = std::move(identity.auditToken);
    owner.metaData.sourceAppSigningIdentifier = std::move(identity.executable.signingIdentifier);
    if (shared) {
        std::fill_n(owner.metaData.sourceAppAuditToken->begin() + static_cast<std::size_t>(AuditToken::Word::pid) * 4,
                    4, std::uint8_t{0});
        owner.metaData.sourceAppSigningIdentifier.clear();
    }
    return owner;
}

// A flow nobody holds any more (its program exited, or its socket was closed
// before the lookup), or whose owner was not found in time, can only meet
// rules that name no application: say so rather than let it pass as an
// unknown application.
void FlowOwnerLookup::report(const Owner& owner, bool late, std::string_view protocol,
                             const SocketAddress& source) const {
    if (owner.pid) return;
    const auto arguments = {LogArg::publicText(std::string(protocol)), LogArg::publicText(source.hostText()),
                            LogArg::number(source.port())};
    if (late) {
        log_.error("The process holding the %{public}s socket %{public}s:%hu was not found in time; rules naming an "
                   "application cannot apply to its flow",
                   arguments);
    } else {
        log_.error("No process holds the %{public}s socket %{public}s:%hu (it may have exited); rules naming an "
                   "application cannot apply to its flow",
                   arguments);
    }
}

}  // namespace corvane::platform
