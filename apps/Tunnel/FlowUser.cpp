#include "Tunnel/FlowUser.hpp"

#include <cstring>

namespace corvane::tunnel {
namespace {

constexpr std::size_t kTokenSize = 32;
constexpr std::size_t kEffectiveUserOffset = 4;

}  // namespace

std::optional<HostnameCache::User> flowUser(const platform::FlowMetaData& metaData) {
    const auto& token = metaData.sourceAppAuditToken;
    if (!token || token->size() != kTokenSize) return std::nullopt;
    HostnameCache::User user = 0;
    std::memcpy(&user, token->data() + kEffectiveUserOffset, sizeof user);
    return user;
}

}  // namespace corvane::tunnel
