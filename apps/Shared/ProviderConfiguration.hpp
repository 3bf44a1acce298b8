#pragma once

#include <string_view>

// Keys of the provider configuration that the app writes and the daemon reads.
namespace corvane::ProviderConfiguration {

// Data: the compact profile document, sorted keys, passwords included.
inline constexpr std::string_view profileKey = "profile";
// String to string: a proxy's upper-case UUID text to its password.
inline constexpr std::string_view proxySecretsKey = "proxySecrets";

}  // namespace corvane::ProviderConfiguration
