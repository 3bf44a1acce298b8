#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// "<short version> (<build>)", as the app shows it; a missing or empty part
// reads "?".
std::string versionText(std::optional<std::string_view> shortVersion, std::optional<std::string_view> build);
// This build's, from ProductVersion.
std::string versionText();

}  // namespace corvane
