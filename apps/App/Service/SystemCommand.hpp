#pragma once

#include <string>
#include <vector>

namespace corvane::service::SystemCommand {

// Runs a program found on the system's path with its arguments and waits for
// it; its output is discarded, its errors go to our standard error. The exit
// status, or -1 when it could not run or was killed.
int run(const std::vector<std::string>& arguments);

// The same, throwing ServiceError (failed) unless the exit status is 0.
void require(const std::vector<std::string>& arguments);

}  // namespace corvane::service::SystemCommand
