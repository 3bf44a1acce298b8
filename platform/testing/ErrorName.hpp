#pragma once

#include <string>

#include "platform/Error.hpp"

namespace corvane::platform::testing {

// "none", the POSIX name ("ECONNREFUSED"), or "category:value" for other codes.
std::string errorName(const Error& error);

}  // namespace corvane::platform::testing
