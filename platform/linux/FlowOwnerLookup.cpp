#include "FlowOwnerLookup.hpp"

#include "SocketDiagnostics.hpp"

#include <unistd.h>

namespace corvane::platform {

namespace {

// Asked once: every flow is compared with it.
const pid_t daemonPid = ::getpid();

}  // namespace

FlowOwnerLookup::Owner FlowOwnerLookup::ownerOfSocket(std::uint64_t inode) {
    Owner owner;
    owner.socketInode = inode;
    if (inode == 0) return owner;
    owner.pid = index_.ownerOf(inode);
    if (!owner.pid) return owner;
    owner.isDaemon = *owner.pid == daemonPid;
    if (owner.isDaemon) return owner;
    auto identity = identities_.identityOf(*owner.pid);
    owner.metaData.sourceAppAuditToken = std::move(identity.auditToken);
    owner.metaData.sourceAppSigningIdentifier = std::move(identity.signingIdentifier);
    return owner;
}

// A flow nobody holds any more (its program exited, or its socket was closed
// before the lookup) can only meet rules that name no application: say so
// rather than let it pass as an unknown application.
void FlowOwnerLookup::reportIfUnowned(const Owner& owner, std::string_view protocol, const SocketAddress& source) const {
    if (owner.pid) return;
    log_.error("No process holds the %{public}s socket %{public}s:%hu (it may have exited); rules naming an "
               "application cannot apply to its flow",
               {LogArg::publicText(std::string(protocol)), LogArg::publicText(source.hostText()),
                LogArg::number(source.port())});
}

FlowOwnerLookup::Owner FlowOwnerLookup::tcpOwner(const SocketAddress& appEnd, const SocketAddress& originalDestination) {
    const auto entry = SocketDiagnostics::tcpSocket(appEnd, originalDestination);
    auto owner = ownerOfSocket(entry ? entry->inode : 0);
    reportIfUnowned(owner, "TCP", appEnd);
    return owner;
}

FlowOwnerLookup::Owner FlowOwnerLookup::udpOwner(const SocketAddress& source, const SocketAddress& firstDestination) {
    const auto entry = SocketDiagnostics::udpSender(source, firstDestination);
    auto owner = ownerOfSocket(entry ? entry->inode : 0);
    owner.socketCookie = entry ? entry->cookie : 0;
    reportIfUnowned(owner, "UDP", source);
    if (firstDestination.port() == kDNSPort) owner.metaData.sourceAppSigningIdentifier = std::string(kSystemResolverIdentifier);
    return owner;
}

}  // namespace corvane::platform
