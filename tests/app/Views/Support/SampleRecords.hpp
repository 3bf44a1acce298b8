#pragma once

#include <vector>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"

namespace corvane::app::testing {

// A morning's worth of connections from a few programs, oldest first, as the
// daemon lists them: proxied, chained, direct, blocked and failed, TCP and UDP.
std::vector<ConnectionRecord> sampleRecords();

}  // namespace corvane::app::testing
