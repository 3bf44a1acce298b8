#pragma once

#include <optional>
#include <system_error>

namespace corvane {

// The POSIX errno value of an error code from Asio or the standard library
// (the system, generic and Asio system categories all carry errno values);
// none for an empty code and for other categories (DNS, end of file, ...).
// Error codes must be compared through this: an Asio code never equals a
// std::errc value.
std::optional<int> posixCode(const std::error_code& error);

}  // namespace corvane
