#include "FlowOwnerLookup.hpp"

#include "AuditToken.hpp"
#include "SigningIdentifier.hpp"
#include "SocketDiagnostics.hpp"

#include <unistd.h>

namespace corvane::platform {

FlowOwnerLookup::Owner FlowOwnerLookup::ownerOfSocket(std::uint64_t inode) {
    Owner owner;
    owner.socketInode = inode;
    if (inode == 0) return owner;
    owner.pid = index_.ownerOf(inode);
    if (!owner.pid) return owner;
    owner.isDaemon = *owner.pid == ::getpid();
    if (owner.isDaemon) return owner;
    if (const auto token = AuditToken::forProcess(*owner.pid))
        owner.metaData.sourceAppAuditToken = Bytes(token->begin(), token->end());
    owner.metaData.sourceAppSigningIdentifier = SigningIdentifier::forProcess(*owner.pid);
    return owner;
}

FlowOwnerLookup::Owner FlowOwnerLookup::tcpOwner(const SocketAddress& appEnd, const SocketAddress& originalDestination) {
    const auto entry = SocketDiagnostics::tcpSocket(appEnd, originalDestination);
    return ownerOfSocket(entry ? entry->inode : 0);
}

FlowOwnerLookup::Owner FlowOwnerLookup::udpOwner(const SocketAddress& source, std::uint16_t firstDestinationPort) {
    const auto entry = SocketDiagnostics::udpSocket(source);
    auto owner = ownerOfSocket(entry ? entry->inode : 0);
    if (firstDestinationPort == kDNSPort) owner.metaData.sourceAppSigningIdentifier = std::string(kSystemResolverIdentifier);
    return owner;
}

}  // namespace corvane::platform
