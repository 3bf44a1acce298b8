#pragma once

#include <string_view>

// The app's fixed identifiers: the log subsystem, the daemon's identifier in the
// tunnel configuration, and the product name the configuration carries.
namespace corvane::app::AppIdentifiers {

inline constexpr std::string_view appIdentifier = "org.corvane.Corvane";
inline constexpr std::string_view tunnelIdentifier = "org.corvane.Corvane.tunnel";
inline constexpr std::string_view productName = "Corvane";

}  // namespace corvane::app::AppIdentifiers
