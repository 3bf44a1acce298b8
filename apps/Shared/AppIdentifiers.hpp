#pragma once

#include <string_view>

// The app's fixed identifiers. `appIdentifier` names the app everywhere the
// system sees it: the log subsystem, the autostart and desktop files and the
// settings. `tunnelIdentifier` names the daemon in the tunnel configuration.
namespace corvane::AppIdentifiers {

inline constexpr std::string_view appIdentifier = "org.corvane.Corvane";
inline constexpr std::string_view tunnelIdentifier = "org.corvane.Corvane.tunnel";
inline constexpr std::string_view productName = "Corvane";

}  // namespace corvane::AppIdentifiers
