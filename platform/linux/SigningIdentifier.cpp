#include "SigningIdentifier.hpp"

namespace corvane::platform {

std::optional<std::string> SigningIdentifier::flatpakApplicationID(std::string_view path) {
    if (!path.starts_with(kFlatpakSystemApps)) return std::nullopt;
    const auto rest = path.substr(kFlatpakSystemApps.size());
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos || slash + 1 == rest.size()) return std::nullopt;
    const auto id = rest.substr(0, slash);
    if (id.empty() || id == "." || id == "..") return std::nullopt;
    return std::string(id);
}

std::string SigningIdentifier::fileName(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string SigningIdentifier::of(const std::optional<std::string>& path, bool verified) {
    if (!path) return "";
    if (verified) {
        if (auto id = flatpakApplicationID(*path)) return *id;
    }
    return fileName(*path);
}

}  // namespace corvane::platform
