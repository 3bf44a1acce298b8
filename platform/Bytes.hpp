#pragma once

#include <cstdint>
#include <vector>

namespace corvane::platform {

// Raw data as the platform hands it over: flow payloads, messages, configuration data.
using Bytes = std::vector<std::uint8_t>;

}  // namespace corvane::platform
