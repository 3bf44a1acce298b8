#include "Tunnel/CodeSignatureResolver.hpp"

#include <climits>
#include <cstring>
#include <vector>

#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane::tunnel {
namespace {

// The platform's flags for skipping the executable's pages and its resources.
constexpr std::uint32_t kValidityFlags =
    platform::CodeSigning::kDoNotValidateExecutable | platform::CodeSigning::kDoNotValidateResources;

// The process identifier: the sixth 32-bit word, in host byte order.
std::int32_t processIdentifier(std::span<const std::uint8_t, CodeSignatureResolver::kTokenSize> token) {
    std::int32_t pid = 0;
    std::memcpy(&pid, token.data() + 20, sizeof pid);
    return pid;
}

}  // namespace

CodeSignatureResolver::CodeSignatureResolver(platform::CodeSigning& signing,
                                             const platform::ExecutablePathLookup& paths,
                                             std::size_t capacity)
    : signing_(signing), paths_(paths), capacity_(capacity) {}

CodeSignatureResolver::Resolution CodeSignatureResolver::resolve(
    const std::optional<platform::Bytes>& auditToken) {
    if (!auditToken || auditToken->size() != kTokenSize) {
        return {CodeIdentity::unverified, std::nullopt};
    }
    std::string key(auditToken->begin(), auditToken->end());
    {
        std::lock_guard guard(lock_);
        if (auto hit = cache_.find(key); hit != cache_.end()) return hit->second;
    }
    std::span<const std::uint8_t, kTokenSize> token(auditToken->data(), kTokenSize);
    Resolution computed{identity(token), executablePath(token)};

    std::lock_guard guard(lock_);
    if (cache_.contains(key)) return computed;
    cache_.emplace(key, computed);
    const bool full = insertionOrder_.size() >= capacity_;
    insertionOrder_.push_back(std::move(key));
    if (full) {
        cache_.erase(insertionOrder_.front());
        insertionOrder_.pop_front();
    }
    return computed;
}

std::size_t CodeSignatureResolver::count() const {
    std::lock_guard guard(lock_);
    return cache_.size();
}

CodeIdentity CodeSignatureResolver::identity(std::span<const std::uint8_t, kTokenSize> token) const {
    auto guest = signing_.guestWithAuditToken(token);
    if (!guest) return CodeIdentity::unverified;
    auto staticCode = signing_.staticCode(*guest);
    if (!staticCode) return CodeIdentity::unverified;
    if (!signing_.checkValidity(*staticCode, kValidityFlags, nullptr)) return CodeIdentity::unverified;

    CodeIdentity result{true, std::nullopt, false};
    auto information =
        signing_.signingInformation(*staticCode, platform::CodeSigning::kSigningInformation);
    if (!information || !information->is_object()) return result;
    if (auto team = information->find(kTeamIdentifierKey);
        team != information->end() && team->is_string()) {
        result.teamIdentifier = team->get<std::string>();
    }
    if (auto anchor = signing_.createRequirement("anchor apple")) {
        result.isPlatformBinary = signing_.checkValidity(*staticCode, kValidityFlags, anchor.get());
    }
    return result;
}

std::optional<std::string> CodeSignatureResolver::executablePath(
    std::span<const std::uint8_t, kTokenSize> token) const {
    const std::int32_t pid = processIdentifier(token);
    if (pid < 1) return std::nullopt;
    // Room for the longest Linux path; a result that fills the buffer was cut short.
    std::vector<char> buffer(PATH_MAX, '\0');
    const int length = paths_.pidPath(pid, buffer.data(), buffer.size());
    if (length < 1 || static_cast<std::size_t>(length) >= buffer.size()) return std::nullopt;
    std::string_view text(buffer.data(), static_cast<std::size_t>(length));
    text = text.substr(0, text.find('\0'));
    return unicode::replacingInvalidUTF8(text);
}

}  // namespace corvane::tunnel
