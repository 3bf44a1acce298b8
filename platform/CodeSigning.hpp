#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include <nlohmann/json.hpp>

namespace corvane::platform {

// The code-signing checks a resolver runs on a flow's source process, one call per
// step. Each failure is a null or false result; none throws.
class CodeSigning {
public:
    // A running process's code or its code on disk; the backend's own kind.
    class Code {
    public:
        virtual ~Code() = default;
    };
    // A compiled requirement text.
    class Requirement {
    public:
        virtual ~Requirement() = default;
    };

    // "Do not validate the executable" and "do not validate resources".
    static constexpr std::uint32_t kDoNotValidateExecutable = 2;
    static constexpr std::uint32_t kDoNotValidateResources = 4;
    // "Signing information" flag of signingInformation.
    static constexpr std::uint32_t kSigningInformation = 2;

    virtual ~CodeSigning() = default;

    virtual std::shared_ptr<Code> guestWithAuditToken(std::span<const std::uint8_t, 32> token) = 0;
    virtual std::shared_ptr<Code> staticCode(const Code& guest) = 0;
    virtual bool checkValidity(const Code& staticCode, std::uint32_t flags,
                               const Requirement* requirement) = 0;
    // The signing dictionary (a JSON object), another value, or none on failure.
    virtual std::optional<nlohmann::json> signingInformation(const Code& staticCode,
                                                             std::uint32_t flags) = 0;
    virtual std::shared_ptr<Requirement> createRequirement(std::string_view text) = 0;
};

}  // namespace corvane::platform
