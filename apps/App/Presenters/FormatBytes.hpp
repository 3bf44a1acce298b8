#pragma once

#include <cstdint>

#include <QString>

namespace corvane::app {

// A byte count as every page shows it: 1024-based units in the user's locale
// ("0 bytes", "1.5 kB"). Counts come from the daemon as unsigned 64-bit numbers;
// anything beyond the signed 64-bit range shows as its largest value.
QString formatBytes(std::uint64_t count);

}  // namespace corvane::app
