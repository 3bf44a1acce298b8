#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Bytes.hpp"

namespace corvane::platform::base64 {

// Standard alphabet with padding.
std::string encode(const Bytes& data);
// Strict: the standard alphabet, length a multiple of four, padding only at the end.
std::optional<Bytes> decode(std::string_view text);

}  // namespace corvane::platform::base64
