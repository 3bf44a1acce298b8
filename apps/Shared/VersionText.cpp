#include "VersionText.hpp"

#include "Shared/ProductVersion.hpp"

namespace corvane {

namespace {

std::string_view orQuestionMark(std::optional<std::string_view> part) {
    return part && !part->empty() ? *part : "?";
}

}  // namespace

std::string versionText(std::optional<std::string_view> shortVersion, std::optional<std::string_view> build) {
    return std::string(orQuestionMark(shortVersion)) + " (" + std::string(orQuestionMark(build)) + ")";
}

std::string versionText() { return versionText(ProductVersion::shortVersion, ProductVersion::build); }

}  // namespace corvane
