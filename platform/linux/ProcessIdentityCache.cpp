#include "ProcessIdentityCache.hpp"

#include "AuditToken.hpp"
#include "ProcessFiles.hpp"

#include <sys/stat.h>

#include <algorithm>

namespace corvane::platform {

ProcessIdentityCache::ProcessIdentityCache(std::shared_ptr<PackageIndex> packages) : packages_(std::move(packages)) {}

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
    identity.executable = RealExecutable::of(pid, *packages_);
    // Kept only when the process did not change while it was read.
    if (stamp && identity.auditToken && stampOf(pid) == stamp) store(pid, Entry{*stamp, identity});
    return identity;
}

void ProcessIdentityCache::store(int pid, Entry entry) {
    std::lock_guard guard(lock_);
    if (entries_.insert_or_assign(pid, std::move(entry)).second) order_.push_back(pid);
    while (order_.size() > kLimit) {
        entries_.erase(order_.front());
        order_.pop_front();
    }
}

std::optional<RealExecutable> ProcessIdentityCache::recorded(std::span<const std::uint8_t, 32> token) const {
    const auto pid = static_cast<int>(AuditToken::word(token, AuditToken::Word::pid));
    std::lock_guard guard(lock_);
    const auto found = entries_.find(pid);
    if (found == entries_.end() || !found->second.identity.auditToken ||
        !std::equal(token.begin(), token.end(), found->second.identity.auditToken->begin(),
                    found->second.identity.auditToken->end()))
        return std::nullopt;
    return found->second.identity.executable;
}

std::optional<std::string> ProcessIdentityCache::pathOf(int pid) const {
    std::lock_guard guard(lock_);
    const auto found = entries_.find(pid);
    if (found == entries_.end()) return std::nullopt;
    return found->second.identity.executable.path;
}

}  // namespace corvane::platform
