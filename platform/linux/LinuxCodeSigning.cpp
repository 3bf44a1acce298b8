#include "LinuxCodeSigning.hpp"

namespace corvane::platform {

namespace {

constexpr std::string_view kAnchorRequirement = "anchor apple";

struct GuestCode final : CodeSigning::Code {
    RealExecutable executable;
};

struct StaticCode final : CodeSigning::Code {
    RealExecutable executable;
};

struct AnchorRequirement final : CodeSigning::Requirement {};

}  // namespace

LinuxCodeSigning::LinuxCodeSigning(std::shared_ptr<const ProcessIdentityCache> identities)
    : identities_(std::move(identities)) {}

std::shared_ptr<CodeSigning::Code> LinuxCodeSigning::guestWithAuditToken(std::span<const std::uint8_t, 32> token) {
    auto executable = identities_->recorded(token);
    if (!executable) return nullptr;
    auto guest = std::make_shared<GuestCode>();
    guest->executable = std::move(*executable);
    return guest;
}

std::shared_ptr<CodeSigning::Code> LinuxCodeSigning::staticCode(const Code& code) {
    const auto* guest = dynamic_cast<const GuestCode*>(&code);
    if (!guest || !guest->executable.path) return nullptr;
    auto result = std::make_shared<StaticCode>();
    result->executable = guest->executable;
    return result;
}

bool LinuxCodeSigning::checkValidity(const Code& code, std::uint32_t, const Requirement* requirement) {
    const auto* executable = dynamic_cast<const StaticCode*>(&code);
    if (!executable || !executable->executable.valid) return false;
    if (!requirement) return true;
    return dynamic_cast<const AnchorRequirement*>(requirement) && executable->executable.platformBinary;
}

std::optional<nlohmann::json> LinuxCodeSigning::signingInformation(const Code& code, std::uint32_t) {
    if (!dynamic_cast<const StaticCode*>(&code)) return std::nullopt;
    return nlohmann::json::object();
}

std::shared_ptr<CodeSigning::Requirement> LinuxCodeSigning::createRequirement(std::string_view text) {
    if (text != kAnchorRequirement) return nullptr;
    return std::make_shared<AnchorRequirement>();
}

}  // namespace corvane::platform
