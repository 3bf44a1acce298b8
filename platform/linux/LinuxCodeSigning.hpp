#pragma once

#include "ProcessIdentityCache.hpp"
#include "platform/CodeSigning.hpp"

#include <memory>

namespace corvane::platform {

// The code-signing steps on Linux, answered from what the owner lookup found
// out about the token's process (ProcessIdentityCache), so that no step reads
// a file a process controls on the event loop that asks:
//   guest       the token is the one the lookup made for that process, which
//               had not changed since (pid, start time, executable file);
//   static code the file the process really executes (RealExecutable);
//   validity    nobody but root can have put that file where it is;
//   signing     an empty dictionary: Linux has no signing teams;
//   "anchor apple" a file of an installed distribution package.
class LinuxCodeSigning final : public CodeSigning {
public:
    explicit LinuxCodeSigning(std::shared_ptr<const ProcessIdentityCache> identities);

    std::shared_ptr<Code> guestWithAuditToken(std::span<const std::uint8_t, 32> token) override;
    std::shared_ptr<Code> staticCode(const Code& guest) override;
    bool checkValidity(const Code& staticCode, std::uint32_t flags, const Requirement* requirement) override;
    std::optional<nlohmann::json> signingInformation(const Code& staticCode, std::uint32_t flags) override;
    std::shared_ptr<Requirement> createRequirement(std::string_view text) override;

private:
    std::shared_ptr<const ProcessIdentityCache> identities_;
};

}  // namespace corvane::platform
