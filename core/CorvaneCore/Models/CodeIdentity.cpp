#include "CorvaneCore/Models/CodeIdentity.hpp"

#include "CorvaneCore/Support/HashCombine.hpp"

namespace corvane {

std::string CodeIdentity::teamPattern(std::string_view teamIdentifier) {
    return std::string(teamPrefix) + std::string(teamIdentifier);
}

std::string CodeIdentity::displayText() const {
    if (isPlatformBinary) return "System binary";
    if (!isValid) return "Signature not verified";
    if (!teamIdentifier) return "Signed, no team (ad-hoc)";
    return "Signed by team " + *teamIdentifier;
}

CodeIdentity CodeIdentity::fromJson(const json::Json& value) {
    json::requireObject(value, "CodeIdentity");
    return CodeIdentity{
        .isValid = json::required<bool>(value, "isValid"),
        .teamIdentifier = json::optional<std::string>(value, "teamIdentifier"),
        .isPlatformBinary = json::required<bool>(value, "isPlatformBinary"),
    };
}

json::Json toJson(const CodeIdentity& identity) {
    json::Json out = json::Json::object();
    out["isValid"] = identity.isValid;
    if (identity.teamIdentifier) out["teamIdentifier"] = *identity.teamIdentifier;
    out["isPlatformBinary"] = identity.isPlatformBinary;
    return out;
}

}  // namespace corvane

std::size_t std::hash<corvane::CodeIdentity>::operator()(const corvane::CodeIdentity& identity) const noexcept {
    std::size_t seed = 0;
    corvane::hashCombine(seed, identity.isValid);
    corvane::hashCombine(seed, identity.teamIdentifier);
    corvane::hashCombine(seed, identity.isPlatformBinary);
    return seed;
}
