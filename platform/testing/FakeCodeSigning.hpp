#pragma once

#include <map>
#include <mutex>
#include <optional>

#include "platform/Bytes.hpp"
#include "platform/CodeSigning.hpp"

namespace corvane::platform::testing {

// Code signing with scripted outcomes per audit token. An unknown token has no guest.
class FakeCodeSigning : public CodeSigning {
public:
    // The outcome of each step for one token.
    struct Script {
        bool guest = true;
        bool staticCode = true;
        bool valid = true;
        // none: the call fails; otherwise the value returned (an object or another value).
        std::optional<nlohmann::json> signingInformation = nlohmann::json::object();
        bool requirementCreatable = true;
        // Whether validity with the anchor requirement holds (platform binary).
        bool anchored = false;
    };
    // How often each step was called.
    struct Calls {
        int guest = 0;
        int staticCode = 0;
        int checkValidity = 0;
        int signingInformation = 0;
        int createRequirement = 0;

        friend bool operator==(const Calls&, const Calls&) = default;
    };

    void script(const Bytes& token, Script script);
    Calls calls() const;
    // The flags of every validity check, in order.
    std::vector<std::uint32_t> validityFlags() const;

    std::shared_ptr<Code> guestWithAuditToken(std::span<const std::uint8_t, 32> token) override;
    std::shared_ptr<Code> staticCode(const Code& guest) override;
    bool checkValidity(const Code& staticCode, std::uint32_t flags, const Requirement* requirement) override;
    std::optional<nlohmann::json> signingInformation(const Code& staticCode, std::uint32_t flags) override;
    std::shared_ptr<Requirement> createRequirement(std::string_view text) override;

private:
    struct FakeCode;

    Script scriptOf(const Code& code) const;

    mutable std::mutex lock_;
    std::map<Bytes, Script> scripts_;
    Calls calls_;
    std::vector<std::uint32_t> validityFlags_;
    // The token whose script decides createRequirement (the last one looked up).
    Bytes lastToken_;
};

}  // namespace corvane::platform::testing
