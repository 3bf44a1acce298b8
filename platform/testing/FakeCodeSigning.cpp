#include "platform/testing/FakeCodeSigning.hpp"

namespace corvane::platform::testing {

struct FakeCodeSigning::FakeCode : Code {
    explicit FakeCode(Bytes token) : token(std::move(token)) {}
    Bytes token;
};

namespace {

struct AnchorRequirement : CodeSigning::Requirement {};

}  // namespace

void FakeCodeSigning::script(const Bytes& token, Script script) {
    std::lock_guard guard(lock_);
    scripts_[token] = std::move(script);
}

FakeCodeSigning::Calls FakeCodeSigning::calls() const {
    std::lock_guard guard(lock_);
    return calls_;
}

std::vector<std::uint32_t> FakeCodeSigning::validityFlags() const {
    std::lock_guard guard(lock_);
    return validityFlags_;
}

FakeCodeSigning::Script FakeCodeSigning::scriptOf(const Code& code) const {
    const auto& token = static_cast<const FakeCode&>(code).token;
    auto it = scripts_.find(token);
    return it == scripts_.end() ? Script{} : it->second;
}

std::shared_ptr<CodeSigning::Code> FakeCodeSigning::guestWithAuditToken(std::span<const std::uint8_t, 32> token) {
    std::lock_guard guard(lock_);
    ++calls_.guest;
    Bytes key(token.begin(), token.end());
    auto it = scripts_.find(key);
    if (it == scripts_.end() || !it->second.guest) return nullptr;
    lastToken_ = key;
    return std::make_shared<FakeCode>(std::move(key));
}

std::shared_ptr<CodeSigning::Code> FakeCodeSigning::staticCode(const Code& guest) {
    std::lock_guard guard(lock_);
    ++calls_.staticCode;
    if (!scriptOf(guest).staticCode) return nullptr;
    return std::make_shared<FakeCode>(static_cast<const FakeCode&>(guest).token);
}

bool FakeCodeSigning::checkValidity(const Code& staticCode, std::uint32_t flags, const Requirement* requirement) {
    std::lock_guard guard(lock_);
    ++calls_.checkValidity;
    validityFlags_.push_back(flags);
    Script script = scriptOf(staticCode);
    return requirement ? script.valid && script.anchored : script.valid;
}

std::optional<nlohmann::json> FakeCodeSigning::signingInformation(const Code& staticCode, std::uint32_t) {
    std::lock_guard guard(lock_);
    ++calls_.signingInformation;
    return scriptOf(staticCode).signingInformation;
}

std::shared_ptr<CodeSigning::Requirement> FakeCodeSigning::createRequirement(std::string_view) {
    std::lock_guard guard(lock_);
    ++calls_.createRequirement;
    auto it = scripts_.find(lastToken_);
    bool creatable = it == scripts_.end() || it->second.requirementCreatable;
    return creatable ? std::make_shared<AnchorRequirement>() : nullptr;
}

}  // namespace corvane::platform::testing
