#pragma once

#include "PackageIndex.hpp"
#include "platform/CodeSigning.hpp"

#include <memory>

namespace corvane::platform {

// The code-signing steps on Linux:
//   guest       the token's process still runs the same program (pid, start
//               time and executable identity agree);
//   static code its executable, opened through /proc/PID/exe;
//   validity    nobody but root can have put that file where it is
//               (OwnershipWalk), in the process's own file system view;
//   signing     an empty dictionary: Linux has no signing teams;
//   "anchor apple" a file of an installed distribution package.
class LinuxCodeSigning final : public CodeSigning {
public:
    explicit LinuxCodeSigning(std::shared_ptr<PackageIndex> packages = std::make_shared<PackageIndex>());

    std::shared_ptr<Code> guestWithAuditToken(std::span<const std::uint8_t, 32> token) override;
    std::shared_ptr<Code> staticCode(const Code& guest) override;
    bool checkValidity(const Code& staticCode, std::uint32_t flags, const Requirement* requirement) override;
    std::optional<nlohmann::json> signingInformation(const Code& staticCode, std::uint32_t flags) override;
    std::shared_ptr<Requirement> createRequirement(std::string_view text) override;

    // Where a Flatpak sandbox's /app lives on the host, when `flatpakInfo`
    // names a system-wide installation of `path`'s application; "" otherwise.
    static std::string flatpakHostPath(std::string_view flatpakInfo, std::string_view path);

private:
    std::shared_ptr<PackageIndex> packages_;
};

}  // namespace corvane::platform
