#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

#include "CorvaneCore/Models/CodeIdentity.hpp"
#include "platform/Bytes.hpp"
#include "platform/CodeSigning.hpp"
#include "platform/ExecutablePathLookup.hpp"

namespace corvane::tunnel {

// Turns a flow's audit token into the code identity and executable path of its
// source process. Results are cached per token, first in, first out.
class CodeSignatureResolver {
public:
    struct Resolution {
        CodeIdentity identity;
        std::optional<std::string> path;

        friend bool operator==(const Resolution&, const Resolution&) = default;
    };

    static constexpr std::size_t kTokenSize = 32;
    // Key of the signing team in the signing information.
    static constexpr std::string_view kTeamIdentifierKey = "teamid";

    CodeSignatureResolver(platform::CodeSigning& signing, const platform::ExecutablePathLookup& paths,
                          std::size_t capacity = 512);

    // Never fails: a missing or malformed token gives the unverified identity and no path.
    Resolution resolve(const std::optional<platform::Bytes>& auditToken);

    // The number of cached tokens.
    std::size_t count() const;

private:
    CodeIdentity identity(std::span<const std::uint8_t, kTokenSize> token) const;
    std::optional<std::string> executablePath(std::span<const std::uint8_t, kTokenSize> token) const;

    platform::CodeSigning& signing_;
    const platform::ExecutablePathLookup& paths_;
    const std::size_t capacity_;

    mutable std::mutex lock_;
    std::unordered_map<std::string, Resolution> cache_;
    std::deque<std::string> insertionOrder_;
};

}  // namespace corvane::tunnel
