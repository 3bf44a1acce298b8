#pragma once

#include <optional>
#include <system_error>

#include "CorvaneCore/Support/PosixErrorCode.hpp"

namespace corvane::platform {

// An error of a platform call; a default-constructed (empty) code means "no error".
using Error = std::error_code;

// The POSIX value of an error code (see the core helper).
using corvane::posixCode;

// True when `error` is the POSIX error `value`, whatever its category.
bool isPosixError(const Error& error, int value);

// A POSIX error code in the generic category.
Error posixError(int value);

// The error a blocked flow is closed with: connection refused.
Error connectionRefused();

}  // namespace corvane::platform
