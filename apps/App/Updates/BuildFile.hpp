#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// The build number file that lies beside the daemon (corvane-tunnel.build):
// one line of printable text.
namespace corvane::updates::BuildFile {

inline constexpr const char* kName = "corvane-tunnel.build";
// Where it lies in an install folder.
inline constexpr const char* kInstalledPath = "libexec/corvane/corvane-tunnel.build";
// A larger file holds no build number.
inline constexpr std::uintmax_t kMaxSize = 256;

// The build number; none when the file is missing, empty or holds anything
// but one line of printable text.
std::optional<std::string> read(const std::filesystem::path& path);

}  // namespace corvane::updates::BuildFile
