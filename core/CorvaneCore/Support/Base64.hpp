#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::base64 {

// Standard alphabet with padding.
std::string encode(std::span<const std::uint8_t> data);
std::string encode(std::string_view text);
// Strict: the standard alphabet, length a multiple of four, padding only at the end.
std::optional<std::vector<std::uint8_t>> decode(std::string_view text);

}  // namespace corvane::base64
