#pragma once

#include <optional>
#include <system_error>

namespace corvane::platform {

// An error of a platform call; a default-constructed (empty) code means "no error".
using Error = std::error_code;

// The POSIX value of an error code when it belongs to the system, generic or
// Asio system category (the three carry errno values), compared by category name
// so that codes made by Asio and by the standard library agree.
std::optional<int> posixCode(const Error& error);

// True when `error` is the POSIX error `value` in any of the categories above.
bool isPosixError(const Error& error, int value);

// A POSIX error code in the generic category.
Error posixError(int value);

// The error a blocked flow is closed with: connection refused.
Error connectionRefused();

}  // namespace corvane::platform
