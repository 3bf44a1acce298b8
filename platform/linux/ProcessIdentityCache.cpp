#include "ProcessIdentityCache.hpp"

#include "AuditToken.hpp"
#include "ProcessFiles.hpp"
#include "SigningIdentifier.hpp"

#include <sys/stat.h>

namespace corvane::platform {

std::optional<ProcessIdentityCache::Stamp> ProcessIdentityCache::stampOf(int pid) {
    struct stat directory {};
    if (pid < 1 || ::stat(procfs::processDirectory(pid).c_str(), &directory) != 0) return std::nullopt;
    const auto executable = AuditToken::currentExecutableIdentity(pid);
    if (!executable) return std::nullopt;
    return Stamp{directory.st_ino, directory.st_uid, directory.st_gid, *executable};
}

ProcessIdentityCache::Identity ProcessIdentityCache::identityOf(int pid) {
    const auto stamp = stampOf(pid);
    if (stamp) {
        std::lock_guard guard(lock_);
        if (const auto found = entries_.find(pid); found != entries_.end() && found->second.stamp == *stamp)
            return found->second.identity;
    }
    Identity identity;
    if (const auto token = AuditToken::forProcess(pid)) identity.auditToken = Bytes(token->begin(), token->end());
    identity.signingIdentifier = SigningIdentifier::forProcess(pid);
    // Kept only when the process did not change while it was read.
    if (stamp && identity.auditToken && stampOf(pid) == stamp) {
        std::lock_guard guard(lock_);
        if (entries_.size() >= kLimit) entries_.clear();
        entries_.insert_or_assign(pid, Entry{*stamp, identity});
    }
    return identity;
}

}  // namespace corvane::platform
