#pragma once

#include <filesystem>
#include <string>

namespace corvane::service::ServiceUnit {

inline constexpr const char* kName = "corvane-tunnel.service";

// The systemd unit that runs `daemon` as the machine's tunnel service, with the
// runtime and state folders the daemon expects and the capabilities it needs.
std::string text(const std::filesystem::path& daemon);

// `path` as one word of an ExecStart= line: quoted, with backslash, quote,
// "%" (specifiers) and "$" (variables) escaped.
std::string commandWord(const std::string& path);

}  // namespace corvane::service::ServiceUnit
