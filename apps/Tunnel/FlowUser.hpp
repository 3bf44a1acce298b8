#pragma once

#include <optional>

#include "CorvaneCore/DNS/HostnameCache.hpp"
#include "platform/FlowMetaData.hpp"

namespace corvane::tunnel {

// The user running a flow's program: the effective uid, the second 32-bit word
// (host byte order) of its 32-byte audit token. Nothing when the owner is unknown.
std::optional<HostnameCache::User> flowUser(const platform::FlowMetaData& metaData);

}  // namespace corvane::tunnel
